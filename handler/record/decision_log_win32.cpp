#include "decision_log.h"

#include "decision_events.h" // windmc's, from decision_events.mc
#include "user_sid.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace handler {

namespace {

// A decision's ID, the message table's, and the name its reason string
// starts with, for whoever filters the log by text.
struct Named {
    DWORD id;
    const char* name;
};

struct RefusalEvent {
    Refusal refusal;
    Named event;
};

// Looked up, not indexed: an ID is the log's, for good, whatever becomes of
// the enum's order.
constexpr RefusalEvent kRefusals[] = {
    {Refusal::NotJson, {EVENT_REFUSED_NOT_JSON, "NotJson"}},
    {Refusal::NulByte, {EVENT_REFUSED_NUL_BYTE, "NulByte"}},
    {Refusal::NotObject, {EVENT_REFUSED_NOT_OBJECT, "NotObject"}},
    {Refusal::TooLarge, {EVENT_REFUSED_TOO_LARGE, "TooLarge"}},
    {Refusal::BadLink, {EVENT_REFUSED_BAD_LINK, "BadLink"}},
    {Refusal::UnknownMember, {EVENT_REFUSED_UNKNOWN_MEMBER, "UnknownMember"}},
    {Refusal::Duplicate, {EVENT_REFUSED_DUPLICATE, "Duplicate"}},
    {Refusal::WrongType, {EVENT_REFUSED_WRONG_TYPE, "WrongType"}},
    {Refusal::NotInteger, {EVENT_REFUSED_NOT_INTEGER, "NotInteger"}},
    {Refusal::PortRange, {EVENT_REFUSED_PORT_RANGE, "PortRange"}},
    {Refusal::WrongVersion, {EVENT_REFUSED_WRONG_VERSION, "WrongVersion"}},
    {Refusal::VersionBelowOne, {EVENT_REFUSED_VERSION_BELOW_ONE, "VersionBelowOne"}},
    {Refusal::Missing, {EVENT_REFUSED_MISSING, "Missing"}},
    {Refusal::Empty, {EVENT_REFUSED_EMPTY, "Empty"}},
    {Refusal::NoPort, {EVENT_REFUSED_NO_PORT, "NoPort"}},
    {Refusal::BothCa, {EVENT_REFUSED_BOTH_CA, "BothCa"}},
    {Refusal::HoldsNul, {EVENT_REFUSED_HOLDS_NUL, "HoldsNul"}},
    {Refusal::NotInCodePage, {EVENT_REFUSED_NOT_IN_CODE_PAGE, "NotInCodePage"}},
    {Refusal::TooLong, {EVENT_REFUSED_TOO_LONG, "TooLong"}},
    {Refusal::NotLocalPath, {EVENT_REFUSED_NOT_LOCAL_PATH, "NotLocalPath"}},
    {Refusal::NotHostName, {EVENT_REFUSED_NOT_HOST_NAME, "NotHostName"}},
    {Refusal::NotATime, {EVENT_REFUSED_NOT_A_TIME, "NotATime"}},
    {Refusal::NotTicketId, {EVENT_REFUSED_NOT_TICKET_ID, "NotTicketId"}},
    {Refusal::SignatureMember, {EVENT_REFUSED_SIGNATURE_MEMBER, "SignatureMember"}},
    {Refusal::SignatureMalformed, {EVENT_REFUSED_SIGNATURE_MALFORMED, "SignatureMalformed"}},
    {Refusal::SignatureAlgorithm, {EVENT_REFUSED_SIGNATURE_ALGORITHM, "SignatureAlgorithm"}},
    {Refusal::SignatureHeader, {EVENT_REFUSED_SIGNATURE_HEADER, "SignatureHeader"}},
    {Refusal::SignatureKey, {EVENT_REFUSED_SIGNATURE_KEY, "SignatureKey"}},
    {Refusal::NoEcdsa, {EVENT_REFUSED_NO_ECDSA, "NoEcdsa"}},
    // Someone changed a signed file: an error, not a warning.
    {Refusal::SignatureInvalid, {EVENT_TAMPERED, "SignatureInvalid"}},
    {Refusal::NotCurrent, {EVENT_REFUSED_NOT_CURRENT, "NotCurrent"}},
    {Refusal::HostNotAllowed, {EVENT_REFUSED_HOST_NOT_ALLOWED, "HostNotAllowed"}},
    {Refusal::Unverified, {EVENT_REFUSED_UNVERIFIED, "Unverified"}},
    {Refusal::NotAsked, {EVENT_REFUSED_NOT_ASKED, "NotAsked"}},
    {Refusal::Unticketed, {EVENT_REFUSED_UNTICKETED, "Unticketed"}},
    {Refusal::Expired, {EVENT_REFUSED_EXPIRED, "Expired"}},
    {Refusal::NotYetValid, {EVENT_REFUSED_NOT_YET_VALID, "NotYetValid"}},
    {Refusal::TooLongLived, {EVENT_REFUSED_TOO_LONG_LIVED, "TooLongLived"}},
    {Refusal::AlreadyUsed, {EVENT_REFUSED_ALREADY_USED, "AlreadyUsed"}},
    {Refusal::NotRecorded, {EVENT_REFUSED_NOT_RECORDED, "NotRecorded"}},
};

static_assert(sizeof kRefusals / sizeof kRefusals[0] == static_cast<std::size_t>(Refusal::NoEcdsa),
              "a refusal without its event");

constexpr DWORD kAbsent = 0;

// Event Viewer expands "%%n" even in an insertion string (to the n-th
// parameter message), and a control character can fake a line of its own:
// neither reaches the log from a file or its name.
bool safeForTheLog(wchar_t c) {
    return c >= 0x20 && c != 0x7F && c != L'%';
}

// A text from the file, for an administrator's screen: printable ASCII,
// anything else '?', "-" for nothing, and at most 255 characters: a host
// whole (at most 253), a member's name from whoever wrote the file cut.
std::wstring shown(const std::string& text) {
    if (text.empty()) {
        return L"-";
    }
    std::wstring safe;
    for (std::size_t i = 0; i < text.size() && i < 255; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        safe += byte < 0x7F && safeForTheLog(byte) ? static_cast<wchar_t>(byte) : L'?';
    }
    return safe;
}

// A file's path whole, in any script a user's folders are named in.
std::wstring shownPath(std::wstring path) {
    std::replace_if(
        path.begin(), path.end(), [](wchar_t c) { return !safeForTheLog(c); }, L'?');
    return path;
}

std::wstring number(long value) {
    return value == 0 ? L"-" : std::to_wstring(value);
}

// The type is the message's severity, written once, in the message table.
WORD typeOf(DWORD id) {
    switch (id >> 30) {
    case 3:
        return EVENTLOG_ERROR_TYPE;
    case 2:
        return EVENTLOG_WARNING_TYPE;
    default:
        return EVENTLOG_INFORMATION_TYPE;
    }
}

void report(const Named& event, const Facts& facts, const std::string& about) {
    HANDLE log = RegisterEventSourceW(nullptr, CORVANE_EVENT_SOURCE);
    if (log == nullptr) {
        return;
    }
    const Connection& connection = facts.connection;
    const std::wstring strings[] = {
        shown(connection.host),
        number(connection.port),
        number(connection.securePort),
        shownPath(facts.from),
        shown(facts.reading.signer.thumbprint),
        shown(connection.ticketId),
        shown(about.empty() ? event.name : std::string(event.name) + " " + about),
    };
    const wchar_t* pointers[sizeof strings / sizeof strings[0]];
    for (std::size_t i = 0; i < sizeof strings / sizeof strings[0]; ++i) {
        pointers[i] = strings[i].c_str();
    }
    std::vector<BYTE> user;
    ReportEventW(log, typeOf(event.id), 0, event.id, currentUserSid(user),
                 static_cast<WORD>(sizeof strings / sizeof strings[0]), 0, pointers, nullptr);
    DeregisterEventSource(log);
}

std::string code(unsigned long error) {
    return error == kAbsent ? "" : std::to_string(error);
}

} // namespace

void logOpened(const Facts& facts, Grounds grounds) {
    const Named kOpened[] = {
        {EVENT_OPENED_TRUSTED_PUBLISHER, "TrustedPublisher"},
        {EVENT_OPENED_ALLOWED_HOST, "AllowedHost"},
        {EVENT_OPENED_UNVERIFIED, "UnverifiedFiles"},
        {EVENT_OPENED_USER_SAID_YES, "UserSaidYes"},
    };
    report(kOpened[static_cast<int>(grounds)], facts, "");
}

void logDeclined(const Facts& facts) {
    report({EVENT_DECLINED, "UserSaidNo"}, facts, "");
}

void logRefused(const Facts& facts, const Verdict& verdict, unsigned long error) {
    for (const RefusalEvent& row : kRefusals) {
        if (row.refusal == verdict.refusal) {
            report(row.event, facts, error != kAbsent ? code(error) : verdict.member);
            return;
        }
    }
}

void logUnreadable(const Facts& facts, unsigned long error) {
    report({EVENT_REFUSED_UNREADABLE, "Unreadable"}, facts, code(error));
}

void logNotStarted(const Facts& facts, const ConsoleRun& run, LaunchProblem problem) {
    if (run.opened == Opened::LauncherNotStarted) {
        report({EVENT_NOT_STARTED_LAUNCHER_NOT_STARTED, "LauncherNotStarted"}, facts,
               code(run.error));
        return;
    }
    if (run.opened == Opened::CaNotWritten) {
        report({EVENT_NOT_STARTED_CA_NOT_WRITTEN, "CaNotWritten"}, facts, code(run.error));
        return;
    }
    // In LaunchProblem's order.
    const Named kProblems[] = {
        {EVENT_NOT_STARTED_NO_PIPE, "NoPipe"},
        {EVENT_NOT_STARTED_NOT_INSTALLED, "NotInstalled"},
        {EVENT_NOT_STARTED_PROGRAM_MISSING, "ProgramMissing"},
        {EVENT_NOT_STARTED_CLIENT_NOT_STARTED, "ClientNotStarted"},
    };
    report(kProblems[static_cast<int>(problem)], facts, "");
}

} // namespace handler
