// The connection file, version 1: what a portal hands a browser so that one
// click opens a console. UTF-8 JSON, one object, at most 64 KiB; or the same
// bytes in a link, "corvane-console:" and base64url. Everything here is
// platform-neutral, so it also builds natively for the sanitizers and the
// fuzzer; the one platform question, whether a text has an exact equivalent
// in the ANSI code page, is handed in.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace handler {

// A top-level member as json_members.h reads it; only the readers need
// the JSON library itself.
struct Member;

constexpr std::size_t kMaxFileSize = 64 * 1024;
// What the launcher reads of one variable: at most 1023 bytes.
constexpr std::size_t kMaxValueBytes = 1023;
constexpr char kLinkScheme[] = "corvane-console:";

// Why a file or link was refused. The first two mean it is no connection
// file at all, and such a file is never deleted.
enum class Refusal {
    None,
    NotJson,
    NotObject,
    TooLarge,
    BadLink,
    UnknownMember,
    Duplicate,
    WrongType,
    NotInteger,
    PortRange,
    WrongVersion,
    VersionBelowOne,
    Missing,
    Empty,
    NoPort,
    BothCa,
    HoldsNul,
    NotInCodePage,
    TooLong,
    NotLocalPath,
    // A signed file or link
    SignatureMember,    // a member of the envelope that is not one
    SignatureMalformed, // not the form a signature takes, or a damaged part
    SignatureAlgorithm, // "alg" neither RS256 nor ES256
    SignatureHeader,    // a header member we do not know, "crit" among them
    SignatureKey,       // the algorithm does not fit the certificate's key
    SignatureInvalid,   // it does not verify over the bytes given
    // The policy's
    NotCurrent,     // a trusted publisher's certificate, expired or not yet valid
    HostNotAllowed, // a host AllowedHosts does not allow
    Unverified,     // UnverifiedFiles says refuse
    NotAsked,       // it would be asked, but --quiet asks nothing
};

// The accepted parameters: texts in the ANSI code page, ready for the
// launcher's environment; `ca` as the file gave it (PEM is ASCII).
struct Connection {
    std::string host, password, title, caFile, ca, hostSubject;
    long port = 0, securePort = 0;
};

struct Verdict {
    Refusal refusal = Refusal::None;
    std::string member; // the member to blame, where there is one
    // A JSON object with a "password" member: a one-time credential, to be
    // deleted once read, whatever else is wrong with it.
    bool holdsPassword = false;
};

// Converts UTF-8 to the ANSI code page; false unless every character has an
// exact equivalent there.
using ToAnsi = bool (*)(const std::string& utf8, std::string& ansi);

Verdict readConnectionFile(const std::string& bytes, ToAnsi toAnsi, Connection& connection);
// The same, for a text whose top-level members have been read.
Verdict checkConnection(const std::vector<Member>& members, ToAnsi toAnsi, Connection& connection);
bool holdsPassword(const std::vector<Member>& members);
// NotJson, NotObject, or None with the object's members read.
Refusal notObject(const std::string& text, std::vector<Member>& members);

// Whether `argument` is a link (the scheme, in any case) rather than a path.
bool isLink(const std::string& argument);
// The file's bytes from a link; false when the payload is not base64url
// (RFC 4648 section 5, padding optional).
bool decodeLink(const std::string& link, std::string& bytes);

} // namespace handler
