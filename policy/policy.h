// The administrator's policy for connection files, as Group Policy writes
// it: per machine under HKLM, per user under HKCU, both at kPolicyKey, a
// machine's value winning over the user's, each policy on its own. A list
// is a subkey whose string values are named "1", "2", ... as browsers'
// list policies are. The handler acts on it; the check tool reports it.
//
// It fails closed: a list's key that exists is set, with no entries or
// none it can use (an empty AllowedHosts allows no host), and an
// UnverifiedFiles of another value or type counts as 1, ask, so that a
// policy the administrator meant to set never hands the decision to the
// user's own. A key that is there but cannot be read counts as there: only
// "not found" leaves a policy unset.
#pragma once

#include <string>
#include <vector>

namespace policy {

constexpr wchar_t kPolicyKey[] = L"Software\\Policies\\Corvane\\Remote Console";
constexpr wchar_t kTrustedPublishers[] = L"TrustedPublishers";
constexpr wchar_t kAllowedHosts[] = L"AllowedHosts";
constexpr wchar_t kUnverifiedFiles[] = L"UnverifiedFiles";
// A list is read up to its value "1000": an administrator's few portals
// and hosts, never a read without end.
constexpr unsigned long kMostListValues = 1000;

enum class Source { None, Machine, User };

struct List {
    Source source = Source::None;
    std::vector<std::string> entries; // as written, UTF-8
    // The values "N" that are no text, or too long to read: none can match.
    std::vector<unsigned long> unusable;
    // Windows' error when the key is there but cannot be read (its access
    // list denies this user): set all the same, with no entries.
    unsigned long unreadable = 0;
};

// What happens to a file that is neither signed by a trusted publisher nor
// for an allowed host.
enum Unverified : unsigned long { kRefuse = 0, kAsk = 1, kOpen = 2 };

struct Policy {
    List trustedPublishers;
    List allowedHosts;
    Source unverifiedSource = Source::None;
    unsigned long unverifiedFiles = kAsk; // as written; out of range means ask
    // How it was written, for the check tool: "2", "\"2\"" (REG_SZ), "\"yes\"",
    // "a REG_BINARY value".
    std::string unverifiedWritten;
};

// An UnverifiedFiles that is neither a DWORD nor a REG_SZ of 0, 1 or 2.
constexpr unsigned long kUnusable = 0xFFFFFFFF;

// The policy in force: the 64-bit registry view, where Group Policy writes,
// whichever view this program runs in.
Policy readPolicy();

// A thumbprint as admins copy it (any case, spaces or colons between the
// digits) in lower-case hex; false unless it is 64 hex digits.
bool normalThumbprint(const std::string& written, std::string& hex);
bool listsThumbprint(const List& publishers, const std::string& thumbprint);

// What a file of that kind gets, an out-of-range value taken as ask.
Unverified unverifiedAction(const Policy& policy);

} // namespace policy
