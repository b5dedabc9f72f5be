// The connection file, version 1: what a portal hands a browser so that one
// click opens a console. UTF-8 JSON, one object, at most 64 KiB; or the same
// bytes in a link, "corvane-console:" and base64url. Everything here is
// platform-neutral, so it also builds natively for the sanitizers and the
// fuzzer; the one platform question, whether a text has an exact equivalent
// in the ANSI code page, is handed in.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Why a file or link was refused. The first three mean it is no connection
// file at all, and such a file is never deleted.
enum class Refusal {
    None,
    NotJson,
    NulByte, // a NUL byte anywhere, where a reader would stop
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
    NotHostName, // "host" is neither an ASCII DNS name nor an IP literal
    NotATime,    // "exp" or "nbf" is not a whole number of seconds since 1970
    NotTicketId, // "jti" is not 1 to 128 printable ASCII characters
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
    // A ticket's: its lifetime and its single use
    Unticketed,   // a trusted publisher's file without "exp" or "jti"
    Expired,      // "exp" passed, beyond the clock skew
    NotYetValid,  // "nbf" ahead, beyond the clock skew
    TooLongLived, // "exp" more than a day ahead
    AlreadyUsed,  // its "jti" opened a console before
    NotRecorded,  // its use could not be recorded, so it cannot be held to once
    NoEcdsa,      // ES256, which this Windows cannot check (before Windows 7)
};

// A time the file does not give.
constexpr std::int64_t kNoTime = -1;

// The accepted parameters: texts in the ANSI code page, ready for the
// launcher's environment; `ca` as the file gave it (PEM is ASCII).
// The ticket's claims, named as JWT (RFC 7519) names them: "exp" and
// "nbf" in seconds since 1970-01-01 UTC, "jti" the ticket's id.
struct Connection {
    std::string host, password, title, caFile, ca, hostSubject;
    long port = 0, securePort = 0;
    std::int64_t expires = kNoTime, notBefore = kNoTime;
    std::string ticketId;
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
// NotJson, NulByte, NotObject, or None with the object's members read.
Refusal notObject(const std::string& text, std::vector<Member>& members);

// Whether `argument` is a link (the scheme, in any case) rather than a path.
bool isLink(const std::string& argument);
// The file's bytes from a link; false when the payload is not base64url
// (RFC 4648 section 5, padding optional).
bool decodeLink(const std::string& link, std::string& bytes);

} // namespace handler
