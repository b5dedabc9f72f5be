// Fuzzes the connection file's reader, as a file and as a link, under the
// sanitizers, and holds every verdict to what the handler relies on:
// - an accepted file has a host, a port in range, at most one of ca and
//   caFile, a caFile on a drive (never a network path), and texts the
//   launcher passes on whole (below 1024 bytes, no NUL);
// - whatever is no connection file at all (not JSON, not an object, too
//   large) never counts as holding a password, so it is never deleted;
// - any other refusal but an unknown member's names one of the format's;
// - a link decodes to what its payload encodes, and reads as that file;
// - the message of a refusal, in every language, is not the file's to
//   write: its member's name adds no quote, no control character and at
//   most 32 characters and an ellipsis to what a one-letter name gives;
// - read as a signed file or link, with a stand-in verifier whose answer
//   the signature's first byte picks (so that the fuzzer reaches past the
//   signature), nothing counts as signed unless the verifier said yes, and
//   a policy that trusts only the verifier's signer and refuses the rest
//   opens nothing else;
// - nothing opens past its "exp" (and the skew), nor without both "exp"
//   and "jti" on a trusted signature, and a ticket with a "jti" is used
//   once: with one book, a second use of it is refused.
#include "admission.h"
#include "base64url.h"
#include "connection_reading.h"
#include "messages.h"
#include "ticket.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A single-byte code page with Latin-1's repertoire: whatever is beyond
// U+00FF has no equivalent. The reader has already checked the UTF-8.
bool toLatin1(const std::string& utf8, std::string& ansi) {
    ansi.clear();
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            ansi += static_cast<char>(lead);
        } else if ((lead == 0xC2 || lead == 0xC3) && i + 1 < utf8.size()) {
            ansi += static_cast<char>(((lead & 0x03) << 6) | (utf8[++i] & 0x3F));
        } else {
            return false;
        }
    }
    return true;
}

bool textFits(const std::string& text) {
    return text.size() <= handler::kMaxValueBytes && text.find('\0') == std::string::npos;
}

void checkVerdict(const handler::Verdict& verdict, const handler::Connection& connection) {
    using handler::Refusal;
    if (verdict.refusal == Refusal::None) {
        check(!connection.host.empty() && textFits(connection.host));
        check(connection.port != 0 || connection.securePort != 0);
        check(connection.port >= 0 && connection.port <= 65535);
        check(connection.securePort >= 0 && connection.securePort <= 65535);
        check(connection.ca.empty() || connection.caFile.empty());
        check(connection.ca.find('\0') == std::string::npos);
        // A CA file on a drive of this machine, never a network path.
        check(connection.caFile.empty() ||
              (connection.caFile.compare(0, 2, "\\\\") != 0 && connection.caFile.find(':') == 1));
        for (const std::string* text : {&connection.password, &connection.title, &connection.caFile,
                                        &connection.hostSubject}) {
            check(textFits(*text));
        }
        return;
    }
    const bool noConnectionFile =
        verdict.refusal == Refusal::NotJson || verdict.refusal == Refusal::NulByte ||
        verdict.refusal == Refusal::NotObject || verdict.refusal == Refusal::TooLarge;
    check(!noConnectionFile || !verdict.holdsPassword);
    static const std::string kMembers[] = {"version",     "host",  "port",   "securePort",
                                           "password",    "title", "caFile", "ca",
                                           "hostSubject", "exp",   "nbf",    "jti"};
    bool known = false;
    for (const std::string& member : kMembers) {
        known = known || verdict.member == member;
    }
    check(noConnectionFile || verdict.refusal == Refusal::UnknownMember || known);
}

std::size_t quotes(const std::wstring& text) {
    std::size_t count = 0;
    for (const wchar_t c : text) {
        check(c == L'\n' || c >= 0x20);
        count += c == L'"' ? 1 : 0;
    }
    return count;
}

void checkMessage(const handler::Verdict& verdict) {
    using handler::Language;
    for (const Language language :
         {Language::English, Language::Simplified, Language::Traditional}) {
        const std::wstring message = handler::refusalMessage(language, false, verdict);
        handler::Verdict named = verdict;
        named.member = "m";
        const std::wstring reference = handler::refusalMessage(language, false, named);
        check(quotes(message) == quotes(reference) && message.size() <= reference.size() + 32);
    }
}

bool saidYes = false;

handler::Check standInVerifier(const handler::SignedPart& part, handler::Signer& signer) {
    const auto first = static_cast<unsigned char>(part.signature.empty() ? 0 : part.signature[0]);
    signer.thumbprint = std::string(64, 'a');
    signer.current = (first & 4) != 0;
    const auto answer = static_cast<handler::Check>(first % 4);
    saidYes = answer == handler::Check::Verified;
    return answer;
}

// One user's book, in memory.
std::set<std::string> book;

handler::Use recordInBook(const std::string& key, std::int64_t /*keepUntil*/, std::int64_t /*now*/,
                          unsigned long& /*error*/) {
    return book.insert(key).second ? handler::Use::First : handler::Use::Again;
}

// The ticket's rules at a time the input picks.
void checkTicket(const handler::Reading& reading, const handler::Connection& connection,
                 const policy::Policy& policy, std::int64_t now) {
    const handler::Admission admission = handler::admit(reading, connection, policy, true, now);
    if (admission.action == handler::Action::Refuse) {
        return;
    }
    check(connection.expires == handler::kNoTime ||
          now - connection.expires <= handler::kClockSkewSeconds);
    // The policy opens trusted files alone: tickets, each of them.
    check(connection.expires != handler::kNoTime && !connection.ticketId.empty());
    book.clear();
    unsigned long error = 0;
    check(handler::useTicket(connection, now, recordInBook, error) == handler::Refusal::None);
    check(handler::useTicket(connection, now, recordInBook, error) ==
          (connection.ticketId.empty() ? handler::Refusal::None : handler::Refusal::AlreadyUsed));
}

void checkSigned(const std::string& bytes) {
    policy::Policy trustingOne;
    trustingOne.trustedPublishers = {policy::Source::Machine, {std::string(64, 'A')}, {}};
    trustingOne.unverifiedFiles = policy::kRefuse;
    for (const bool link : {false, true}) {
        saidYes = false;
        handler::Connection connection;
        const handler::Reading reading =
            link ? handler::readLink(handler::kLinkScheme + bytes, toLatin1, standInVerifier,
                                     connection)
                 : handler::readFileBytes(bytes, toLatin1, standInVerifier, connection);
        check(!reading.signedFile || saidYes);
        if (reading.verdict.refusal == handler::Refusal::None) {
            checkVerdict(reading.verdict, connection);
            // Near the ticket's own expiry, either side of the skew, so that
            // both verdicts are reached; a day either side of 2027 without one.
            const auto shift = static_cast<std::int64_t>(bytes.size() % 1201) - 600;
            const std::int64_t now = connection.expires != handler::kNoTime
                                         ? connection.expires + shift
                                         : 1798761600 + shift * 144;
            const handler::Admission admission =
                handler::admit(reading, connection, trustingOne, true, now);
            check(admission.action != handler::Action::Open || (saidYes && reading.signer.current));
            checkTicket(reading, connection, trustingOne, now);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    handler::Connection connection;
    const handler::Verdict verdict = handler::readConnectionFile(bytes, toLatin1, connection);
    checkVerdict(verdict, connection);
    checkMessage(verdict);

    std::string decoded;
    const std::string link = handler::kLinkScheme + wire::base64url(bytes);
    check(handler::isLink(link) && handler::decodeLink(link, decoded) && decoded == bytes);
    handler::Connection byLink;
    const handler::Verdict linkVerdict = handler::readConnectionFile(decoded, toLatin1, byLink);
    check(linkVerdict.refusal == verdict.refusal && linkVerdict.member == verdict.member &&
          byLink.host == connection.host && byLink.title == connection.title);

    // The input as a payload of its own: decoded or refused, never a crash.
    std::string anything;
    if (handler::decodeLink(handler::kLinkScheme + bytes, anything)) {
        handler::Connection fromPayload;
        checkVerdict(handler::readConnectionFile(anything, toLatin1, fromPayload), fromPayload);
    }
    checkSigned(bytes);
    return 0;
}
