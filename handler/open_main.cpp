// corvane-r-open: opens a console from a connection file or a link, as a
// browser hands them over after the user clicks "console" in a portal.
//
//   corvane-r-open.exe [--quiet] FILE
//   corvane-r-open.exe [--quiet] corvane-console:PAYLOAD
//
// It reads and checks the file (a file that holds a password is deleted
// once read, whatever its verdict: it is a one-time credential) and its
// signature, if it has one; holds it to the administrator's policy, which
// may have it ask the user first, and to its lifetime; records a ticket's
// single use; starts corvane-r.exe with the file's parameters and waits
// for it. Each decision goes to the Application log (decision_log.h).
// Exit status: 0 after the client has run and exited, 1 when nothing was
// started (a refused file or link, or the user said no), the launcher's -1
// when the launch failed, 2 for a bad command line. A refusal or a
// failure is shown in a message box, or with --quiet written to standard
// error, in UTF-8.
//
// A GUI-subsystem program, so that no console window flashes up when a
// browser opens a file.
#include "admission.h"
#include "client_checks.h"
#include "connection_reading.h"
#include "console_start.h"
#include "decision_log.h"
#include "messages.h"
#include "signature_check.h"
#include "ticket_book.h"
#include "windows_text.h"

#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

using namespace handler;

struct Tell {
    bool quiet;
    Language language;

    void operator()(const std::wstring& message, UINT icon = MB_ICONERROR) const {
        if (!quiet) {
            MessageBoxW(nullptr, message.c_str(), kCaption, MB_OK | icon | MB_SETFOREGROUND);
            return;
        }
        HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
        if (error != nullptr && error != INVALID_HANDLE_VALUE) {
            const std::string text = wideToUtf8(message) + "\n";
            DWORD written = 0;
            WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        }
    }
};

// Up to one byte more than a connection file may hold, so that a larger one
// is told apart; 0 or Windows' error code.
unsigned long readFile(const std::wstring& path, std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    bytes.assign(kMaxFileSize + 1, '\0');
    DWORD total = 0;
    DWORD got = 0;
    while (total < bytes.size() &&
           ReadFile(file, &bytes[total], DWORD(bytes.size()) - total, &got, nullptr) && got > 0) {
        total += got;
    }
    CloseHandle(file);
    bytes.resize(total);
    return 0;
}

// Why the launch failed, from what the check finds wrong with the client's
// registration; `findings` receives the check's words, one a line.
LaunchProblem diagnose(std::wstring& findings) {
    check::Report report;
    // In check::Blocker's order.
    const LaunchProblem kProblems[] = {LaunchProblem::NoPipe, LaunchProblem::NotInstalled,
                                       LaunchProblem::ProgramMissing, LaunchProblem::NotStarted};
    const LaunchProblem problem = kProblems[static_cast<int>(check::diagnoseLaunch(report))];
    findings = ansiToWide(report.failures());
    return problem;
}

bool checkToolInstalled() {
    const std::wstring tool = programFolder() + L"tools\\corvane-r-check.exe";
    return GetFileAttributesW(tool.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A file as the log names it: its full path, whatever folder the browser or
// a script started the handler in.
std::wstring fullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = size == 0 ? 0 : GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    return length == 0 || length >= size ? path : full.substr(0, length);
}

} // namespace

int main() {
    // The shell starts us in the download's folder: no DLL is to be loaded
    // from there.
    SetDllDirectoryW(L"");
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    bool quiet = false;
    std::wstring target;
    int targets = 0;
    for (int i = 1; arguments != nullptr && i < count; ++i) {
        if (std::wstring(arguments[i]) == L"--quiet") {
            quiet = true;
        } else {
            target = arguments[i];
            ++targets;
        }
    }
    LocalFree(arguments);
    const Tell tell{quiet, userLanguage(GetUserDefaultUILanguage())};
    if (targets != 1) {
        tell(usageMessage(tell.language));
        return 2;
    }

    Connection connection;
    Reading reading;
    std::wstring leftBehind; // a password file that could not be deleted
    const std::string link = wideToUtf8(target);
    const bool isLinkTarget = isLink(link);
    const Facts facts{isLinkTarget ? L"link" : fullPath(target), connection, reading};
    if (isLinkTarget) {
        reading = readLink(link, utf8ToAnsi, verifySignature, connection);
    } else {
        std::string bytes;
        const unsigned long error = readFile(target, bytes);
        if (error != 0) {
            logUnreadable(facts, error);
            tell(unreadableMessage(tell.language, error));
            return 1;
        }
        reading = readFileBytes(bytes, utf8ToAnsi, verifySignature, connection);
        if (reading.verdict.holdsPassword && !DeleteFileW(target.c_str())) {
            leftBehind = notDeletedMessage(tell.language, target, GetLastError());
        }
    }
    // Whatever else is said, a password left on disk is said too.
    auto andLeftBehind = [&leftBehind](const std::wstring& message) {
        return leftBehind.empty() ? message : message + L"\n\n" + leftBehind;
    };
    const std::wstring host = ansiToWide(connection.host);
    const std::int64_t now = unixNow();
    Admission admission = reading.verdict.refusal != Refusal::None
                              ? Admission{Action::Refuse, reading.verdict.refusal, false}
                              : admit(reading, connection, policy::readPolicy(), !quiet, now);
    Particulars particulars{host, now, connection.notBefore, connection.expires, 0};
    auto refuse = [&](Refusal refusal) {
        Verdict verdict = reading.verdict;
        verdict.refusal = refusal;
        logRefused(facts, verdict, particulars.error);
        tell(andLeftBehind(refusalMessage(tell.language, isLinkTarget, verdict, particulars)));
        return 1;
    };
    // Nobody is asked about a ticket that could not open.
    if (admission.action == Action::Ask && !connection.ticketId.empty() &&
        ticketRecorded(ticketKey(connection))) {
        admission.action = Action::Refuse;
        admission.refusal = Refusal::AlreadyUsed;
    }
    if (admission.action == Action::Refuse) {
        return refuse(admission.refusal);
    }
    if (admission.action == Action::Ask) {
        const std::wstring question =
            askMessage(tell.language, isLinkTarget, host, connection.port, connection.securePort,
                       ansiToWide(connection.title), admission.ownAuthority);
        // No is the default: a user who presses Enter has not agreed.
        if (MessageBoxW(nullptr, question.c_str(), kCaption,
                        MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2 | MB_SETFOREGROUND) != IDYES) {
            logDeclined(facts);
            if (!leftBehind.empty()) {
                tell(leftBehind, MB_ICONWARNING);
            }
            return 1;
        }
    }
    // Only now is the ticket used up: what was refused or declined is not.
    const Refusal use = useTicket(connection, now, recordTicketUse, particulars.error);
    if (use != Refusal::None) {
        return refuse(use);
    }

    logOpened(facts, admission.grounds);
    const ConsoleRun run = openConsole(connection);
    if (run.opened != Opened::Ran) {
        logNotStarted(facts, run);
    }
    if (run.opened == Opened::LauncherNotStarted) {
        tell(andLeftBehind(launcherMissingMessage(tell.language, run.launcherPath, run.error)));
        return -1;
    }
    if (run.opened == Opened::CaNotWritten) {
        tell(andLeftBehind(caNotWrittenMessage(tell.language, run.error)));
        return -1;
    }
    if (run.status != 0) {
        std::wstring findings;
        const LaunchProblem problem = diagnose(findings);
        logNotStarted(facts, run, problem);
        tell(andLeftBehind(
            launchFailedMessage(tell.language, problem, findings, checkToolInstalled())));
    } else if (!leftBehind.empty()) {
        tell(leftBehind, MB_ICONWARNING);
    }
    return run.status;
}
