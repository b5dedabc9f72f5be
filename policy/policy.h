// The administrator's policy for connection files, as Group Policy writes
// it: per machine under HKLM, per user under HKCU, both at kPolicyKey, a
// machine's value winning over the user's, each policy on its own. A list
// is a subkey whose string values are named "1", "2", ... as browsers'
// list policies are. The handler acts on it; the check tool reports it.
#pragma once

#include <string>
#include <vector>

namespace policy {

constexpr wchar_t kPolicyKey[] = L"Software\\Policies\\Corvane\\Remote Console";
constexpr wchar_t kTrustedPublishers[] = L"TrustedPublishers";
constexpr wchar_t kAllowedHosts[] = L"AllowedHosts";
constexpr wchar_t kUnverifiedFiles[] = L"UnverifiedFiles";

enum class Source { None, Machine, User };

struct List {
    Source source = Source::None;
    std::vector<std::string> entries; // as written, UTF-8
};

// What happens to a file that is neither signed by a trusted publisher nor
// for an allowed host.
enum Unverified : unsigned long { kRefuse = 0, kAsk = 1, kOpen = 2 };

struct Policy {
    List trustedPublishers;
    List allowedHosts;
    Source unverifiedSource = Source::None;
    unsigned long unverifiedFiles = kAsk; // as written; out of range means ask
};

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
