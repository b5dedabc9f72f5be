// corvane-r-open.exe end to end under Wine: the shared table's connection
// files and links opened through the shell as a browser opens them, with the
// MSI's registration naming this build's handler, the real launcher behind
// it and the stand-in as the client. Without a display, where Wine shows no
// window; HandlerBox runs on an X server (tests/handler/message_box.sh).
#include "base64url.h"
#include "launch_driver.h"
#include "messages.h"
#include "wire.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace e2e;
using namespace wire;
using namespace handler;
using Messages = std::vector<std::string>;

constexpr DWORD kFailed = 0xFFFFFFFF; // -1 as a Windows parent reads it
constexpr char kClasses[] = "Software\\Classes\\";
// What a stray environment holds: none of it may reach the client.
const Variables kStray = {{"SPICE_PASSWORD", "stray"}, {"Spice_Host_Subject", "stray"}};
// Inherited, beyond the code page, as a profile path may be: passed on exactly.
constexpr wchar_t kProbe[] = L"J\u00fcrgen \u63a7\u5236\u53f0";
const std::string kProbeUtf8 = u8"J\u00fcrgen \u63a7\u5236\u53f0";
const std::string kPlainLink =
    "corvane-console:" + base64url(R"({"version": 1, "host": "vm7.example", "port": 5900})");

// The table of files, then the signed and policed ones made for this run.
std::vector<Json> readTables() {
    std::vector<Json> rows;
    for (const char* path : {"Z:" CORVANE_CONNECTION_TABLE, "Z:" CORVANE_SIGNED_TABLE}) {
        std::istringstream lines(readFile(path));
        for (std::string line; std::getline(lines, line);) {
            rows.push_back(Json::parse(line));
        }
    }
    return rows;
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Whom an access list in SDDL ("O:owner D:(A;;rights;;;trustee)...") lets
// in. Wine keeps a file's access in its Unix mode and shows the owner's part
// as the owner and SYSTEM, and a world-readable file (what a file made
// without an access list of its own is) with Everyone ("WD") besides.
std::set<std::string> trustees(const std::string& sddl) {
    std::set<std::string> found;
    for (std::size_t end = sddl.find(')'); end != std::string::npos;
         end = sddl.find(')', end + 1)) {
        found.insert(sddl.substr(sddl.rfind(';', end) + 1, end - sddl.rfind(';', end) - 1));
    }
    return found;
}

// The MSI's values, one "key|name|data" line each, with this build's
// handler, under HKEY_LOCAL_MACHINE\Software\Classes; or the top keys
// deleted again.
void registerBrowser(bool add) {
    std::istringstream lines(readFile("Z:" CORVANE_BROWSER_REGISTRATION));
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::size_t bar = line.find('|');
        const std::size_t second = line.find('|', bar + 1);
        const std::string key = kClasses + line.substr(0, bar);
        const std::string name = line.substr(bar + 1, second - bar - 1);
        std::string data = line.substr(second + 1);
        if (!add) { // our own keys whole; of the shared MIME database, our type's
            const bool mime = line.compare(0, 5, "MIME\\") == 0;
            SHDeleteKeyA(
                HKEY_LOCAL_MACHINE,
                key.substr(0, mime ? std::string::npos : key.find('\\', sizeof kClasses)).c_str());
            continue;
        }
        if (data.find("{handler}") != std::string::npos) {
            data.replace(data.find("{handler}"), 9, handlerUnderTest());
        }
        HKEY handle = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &handle, nullptr);
        RegSetValueExA(handle, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>(data.size() + 1));
        RegCloseKey(handle);
    }
}

// The guide's table of events: each reason's ID and type (EVENTLOG_*).
std::map<std::string, std::pair<unsigned, unsigned>> documentedEvents() {
    std::map<std::string, std::pair<unsigned, unsigned>> events;
    std::istringstream lines(readFile("Z:" CORVANE_GUIDE));
    for (std::string line; std::getline(lines, line);) {
        char type[16], reason[40];
        unsigned id = 0;
        if (std::sscanf(line.c_str(), "| %u | %15s | `%39[A-Za-z]` |", &id, type, reason) == 3) {
            events[reason] = {id, 1u << std::string("EWI").find(*type)}; // EVENTLOG_*_TYPE
        }
    }
    return events;
}
const auto kEvents = documentedEvents();

// A run's `count` events since `mark`, the last the guide's for `reason`, in
// the user's name, `from` and for `host` (or any), no `password` or CA in it.
void expectEvent(std::size_t mark, const std::string& reason, const std::string& from,
                 const std::string& host, const std::string& password, std::size_t count = 1) {
    const std::vector<LoggedEvent> events = eventsSince(mark);
    ASSERT_EQ(events.size(), count) << reason;
    const std::vector<std::string>& strings = events.back().strings;
    ASSERT_EQ(strings.size(), 7u) << reason;
    EXPECT_EQ(std::make_tuple(events.back().id & 0xFFFF, events.back().type, events.back().user),
              std::make_tuple(kEvents.at(reason).first, kEvents.at(reason).second, true))
        << reason;
    EXPECT_EQ(strings[6].rfind(reason, 0), 0u) << strings[6];
    EXPECT_EQ(strings[3], from);
    EXPECT_TRUE(host.empty() || strings[0] == host) << strings[0];
    const std::string all = Json(strings).dump();
    EXPECT_EQ(all.find(password), std::string::npos) << all;
    EXPECT_EQ(all.find("BEGIN CERTIFICATE"), std::string::npos) << all;
}

// As a browser hands over a download or a link: ShellExecuteEx with the
// "open" verb, in the download's folder. The handler's exit status.
DWORD shellOpen(const std::string& target) {
    const std::string folder = tempFolder();
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = "open";
    info.lpFile = target.c_str();
    info.lpDirectory = folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    DWORD status = STILL_ACTIVE; // matches no expected status
    if (ShellExecuteExA(&info) && info.hProcess != nullptr) {
        WaitForSingleObject(info.hProcess, INFINITE); // CTest's limit stops a hung run
        GetExitCodeProcess(info.hProcess, &status);
        CloseHandle(info.hProcess);
    }
    return status;
}

// What the client receives from each accepted file: its parameters, in the
// ANSI code page (Windows-1252 here), in the launcher's order. kInlineCa
// stands for the file the handler wrote.
const std::string kInlineCa = "inline CA";
const std::pair<const char*, Messages> kReceived[] = {
    {"Everything",
     {kInit, text(1, "vm7.example"), number(2, 5900), number(3, 5901), text(4, "s3cret-once"),
      text(11, "Konsole f\xfcr vm7"), text(8, "C:\\certs\\ca.pem"), text(9, "C=DE, CN=vm7.example"),
      kShow, kConnect}},
    {"ByLink", {kInit, text(1, "vm7.example"), number(3, 65535), text(11, "vm7"), kShow, kConnect}},
    {"InlineCaWithByteOrderMark",
     {kInit, text(1, "vm7.example"), number(3, 5901), kInlineCa, kShow, kConnect}},
    {"LongLinkAsArgument",
     {kInit, text(1, "vm7.example"), number(2, 5900), text(4, "pw"),
      text(11, std::string(1023, '\xfc')), kShow, kConnect}},
};

class ConnectionFile : public ::testing::TestWithParam<Json> {
protected:
    static void SetUpTestSuite() {
        registerBrowser(true);
        clearTicketBook();
        for (const auto& [name, value] : kStray) {
            SetEnvironmentVariableA(name.c_str(), value.c_str());
        }
        SetEnvironmentVariableW(L"CORVANE_PROBE", kProbe);
    }
    static void TearDownTestSuite() {
        registerBrowser(false);
        writePolicy(Json::object());
        deleteClientKey();
    }
};

TEST_P(ConnectionFile, OpenedAsABrowserOpensIt) {
    ASSERT_EQ(GetACP(), 1252u) << "the expected bytes are Windows-1252's";
    const Json& row = GetParam();
    const std::string via = row["via"];
    const std::string verdict = row["verdict"];
    const bool accepted = kEvents.at(verdict).second == EVENTLOG_INFORMATION_TYPE;
    const std::string bytes = row.value("text", "") + fromHex(row.value("hex", "")) +
                              std::string(row.value("pad", 0u), ' ');
    const std::string path =
        tempFolder() + "corvane-e2e-" + row["name"].get<std::string>() + ".corvane";
    const std::string target = via == "file"              ? path
                               : via.rfind("raw", 0) == 0 ? bytes
                                                          : "corvane-console:" + base64url(bytes);
    // The signed table's policy, or the host allowed: nothing is asked.
    writePolicy(row.value("policy", Json({{"user", {{"AllowedHosts", {"vm7.example"}}}}})));
    setClientValue(standinCommand("--reveal-password") + '\0', REG_SZ);
    clearTranscript();
    writeFile(path, bytes);
    // One the handler cannot delete, and says so.
    SetFileAttributesA(path.c_str(), row.value("readOnly", false) ? FILE_ATTRIBUTE_READONLY
                                                                  : FILE_ATTRIBUTE_NORMAL);

    DWORD status = STILL_ACTIVE;
    const std::size_t mark = traceMark();
    if (via == "argument" || via == "rawargument") {
        ASSERT_GT(target.size(), 256u) << "longer than the shell passes on: given as the argument";
        status = launch(kStray, " " + target, "", handlerUnderTest()).exitCode;
    } else {
        ASSERT_LT(target.size(), 256u) << "the shell cuts longer links";
        status = shellOpen(target);
    }
    EXPECT_EQ(status, accepted ? 0u : 1u);
    const Json file = Json::parse(bytes, nullptr, false); // a signed link is none
    // Asked without a display, the box answers at once, and not Yes.
    expectEvent(mark, verdict == "NotAsked" ? "UserSaidNo" : verdict, via == "file" ? path : "link",
                accepted ? row.value("host", "vm7.example") : "",
                file.is_object() ? file.value("password", "\n") : "\n");
    if (row.contains("event")) { // what a file's text becomes in the log
        EXPECT_EQ(eventsSince(mark).back().strings.at(6), row["event"].get<std::string>());
    }
    const bool deleted = via == "file" && row["deleted"].get<bool>();
    EXPECT_EQ(!exists(path), deleted) << "deleted if and only if it held a password";
    if (!deleted) {
        EXPECT_EQ(readFile(path), bytes) << "a file left must be left exactly as it was";
    }

    Launch run;
    run.transcript = readTranscript();
    if (!accepted) {
        EXPECT_TRUE(run.transcript.empty()) << "a refused file starts nothing";
        // The message, from a second copy given on the command line by a
        // path relative to the folder it is started in: logged by its full path.
        writeFile(path, bytes);
        const std::size_t quietMark = traceMark();
        const std::size_t slash = path.rfind('\\');
        run = launch({}, " --quiet \"" + (via == "file" ? path.substr(slash + 1) : target) + "\"",
                     path.substr(0, slash), handlerUnderTest());
        EXPECT_EQ(run.exitCode, 1u);
        EXPECT_NE(run.output.find(row["says"].get<std::string>()), std::string::npos) << run.output;
        expectEvent(quietMark, verdict, via == "file" ? path : "link", "", "\n");
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        return;
    }
    if (row.contains("again")) { // a ticket: the same again is refused, and starts nothing
        writeFile(path, row.value("againText", bytes));
        const std::size_t againMark = traceMark();
        const Launch again = launch({}, " --quiet \"" + (via == "file" ? path : target) + "\"", "",
                                    handlerUnderTest());
        EXPECT_EQ(again.exitCode, 1u);
        EXPECT_NE(again.output.find(row["again"].get<std::string>()), std::string::npos)
            << again.output;
        EXPECT_TRUE(again.transcript.empty());
        expectEvent(againMark, "AlreadyUsed", via == "file" ? path : "link", "", "\n");
        EXPECT_EQ(eventsSince(againMark).back().strings.at(6), "AlreadyUsed")
            << "no error code: finding the record is no failure";
    }
    DeleteFileA(path.c_str());
    const Json ca = run.first("ca_file");
    // The signed table's, unless named.
    Messages expected = {kInit, text(1, row.value("host", "vm7.example.org")), number(2, 5900),
                         kShow, kConnect};
    for (const auto& [name, messages] : kReceived) {
        expected = row["name"] == name ? messages : expected;
    }
    for (std::string& message : expected) {
        message = message == kInlineCa ? text(8, ca.value("path", "")) : message;
    }
    EXPECT_EQ(run.messages(), expected);
    if (via.find("argument") == std::string::npos) { // the launch driver's ANSI block lacks it
        EXPECT_EQ(run.environment("CORVANE_PROBE", true), kProbeUtf8);
    }
    EXPECT_EQ(run.first("start").value("cwd", ""), std::getenv("USERPROFILE"));
    EXPECT_EQ(run.first("exit").value("code", -1), 0);
    const std::string pem = file.is_object() ? file.value("ca", "") : "";
    if (!pem.empty()) {
        const std::string caPath = ca.value("path", "");
        EXPECT_EQ(ca.value("contents", ""), pem) << "the CA file, whole, while the client runs";
        const std::string access = ca.value("access", "");
        const std::string owner = access.substr(2, access.find("D:") - 2);
        EXPECT_EQ(trustees(access), std::set<std::string>({"SY", owner}))
            << access << ": only its owner, the user, may open it";
        EXPECT_EQ(caPath.rfind(tempFolder(), 0), 0u) << caPath << ": not in the user's temp folder";
        EXPECT_FALSE(exists(caPath)) << "removed once the launcher has exited";
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ConnectionFile, ::testing::ValuesIn(readTables()),
                         [](const auto& row) {
                             return row.param["name"].template get<std::string>();
                         });

TEST(Handler, BadCommandLines) {
    const std::pair<const char*, const char*> kLines[] = {
        {" --quiet", "Usage: corvane-r-open.exe [--quiet] FILE.corvane"},
        {" --quiet one.corvane two.corvane", "Usage:"},
    };
    for (const auto& [arguments, says] : kLines) {
        const Launch run = launch({}, arguments, "", handlerUnderTest());
        EXPECT_EQ(run.exitCode, 2u) << arguments;
        EXPECT_NE(run.output.find(says), std::string::npos) << arguments << ": " << run.output;
    }
}

// Where the ANSI code page is UTF-8 (e2e.handler_utf8, a Unicode-only locale).
TEST(HandlerUtf8CodePage, PassesTheFilesTextOn) {
    ASSERT_EQ(GetACP(), 65001u);
    setClientValue(standinCommand("") + '\0', REG_SZ);
    writePolicy({{"user", {{"UnverifiedFiles", 2}}}});
    const std::string file =
        u8R"({"version": 1, "host": "vm7.example", "port": 5900, "title": "控制台 vm7"})";
    const Launch run = launch({}, " corvane-console:" + base64url(file), "", handlerUnderTest());
    deleteClientKey();
    writePolicy(Json::object());
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    // Read in UTF-16: Wine cuts an ANSI reading at its length in UTF-16.
    EXPECT_EQ(run.environment("SPICE_TITLE", true), u8"控制台 vm7");
}

// A ticket's single use where one row of the table cannot show it: a
// declined ticket that opens later, two handlers started at once on one
// ticket, and a book that cannot be written.
TEST(HandlerTicket, OpensOnce) {
    setClientValue(standinCommand("") + '\0', REG_SZ);
    clearTicketBook();
    auto link = [](const char* id) {
        return " corvane-console:" +
               base64url(std::string(R"({"version": 1, "host": "vm7.example", "port": 5900, )") +
                         R"("jti": ")" + id + "\"}");
    };
    // Asked without a display, the box answers at once, and not Yes.
    writePolicy(Json::object());
    EXPECT_EQ(launch({}, link("declined"), "", handlerUnderTest()).exitCode, 1u);
    writePolicy({{"user", {{"UnverifiedFiles", 2}}}});
    EXPECT_EQ(launch({}, link("declined"), "", handlerUnderTest()).exitCode, 0u)
        << "a declined ticket is not used up";
    EXPECT_EQ(launch({}, link("declined"), "", handlerUnderTest()).exitCode, 1u);

    std::string command = "\"" + handlerUnderTest() + "\" --quiet" + link("twice");
    PROCESS_INFORMATION started[2] = {};
    for (PROCESS_INFORMATION& process : started) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process);
    }
    std::multiset<DWORD> statuses;
    for (PROCESS_INFORMATION& process : started) {
        DWORD status = STILL_ACTIVE;
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &status);
        statuses.insert(status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    EXPECT_EQ(statuses, std::multiset<DWORD>({0u, 1u})) << "one console, and one refusal";

    // The book's folder is a file: no record can be made there.
    clearTicketBook();
    const std::string book = ticketBook();
    writeFile(book, "");
    const Launch unrecorded = launch({}, " --quiet" + link("unrecorded"), "", handlerUnderTest());
    DeleteFileA(book.c_str());
    EXPECT_EQ(unrecorded.exitCode, 1u);
    EXPECT_NE(unrecorded.output.find("could not record that it was used: error "),
              std::string::npos)
        << unrecorded.output;
    EXPECT_EQ(launch({}, " --quiet" + link("unrecorded"), "", handlerUnderTest()).exitCode, 0u);
    writePolicy(Json::object());
    deleteClientKey();
}

struct Shown {
    DWORD status = STILL_ACTIVE;
    bool box = false;
    std::wstring text; // the box's
    int focused = 0;   // the button Enter would press
};

// The handler on `desktop`; its box (among others') read and answered as a
// user would.
Shown showBox(std::wstring desktop, const std::string& arguments, WPARAM answer) {
    const std::string command = "\"" + handlerUnderTest() + "\"" + arguments;
    std::wstring commandLine(command.begin(), command.end());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.lpDesktop = desktop.data();
    PROCESS_INFORMATION process = {};
    CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                   &startup, &process);
    auto ours = [&process](HWND box) { // visible: only then has the box its text
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        return IsWindowVisible(box) && owner == process.dwProcessId;
    };
    wchar_t text[4096] = {};
    Shown shown;
    // Long enough for a launcher that tries its pipe for ten seconds.
    for (int waited = 0; waited < 300 && !shown.box; ++waited) {
        HWND box = nullptr;
        while ((box = FindWindowExW(nullptr, box, L"#32770", kCaption)) != nullptr && !ours(box)) {
        }
        shown.box = box != nullptr;
        if (shown.box) {
            GetWindowTextW(GetDlgItem(box, 0xFFFF), text, 4096);
            GUITHREADINFO thread = {};
            thread.cbSize = sizeof thread;
            GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &thread);
            shown.focused = GetDlgCtrlID(thread.hwndFocus);
            PostMessageW(box, WM_COMMAND, answer, 0);
        } else if (WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0) {
            break; // ended without a box
        }
    }
    WaitForSingleObject(process.hProcess, 10000);
    GetExitCodeProcess(process.hProcess, &shown.status);
    TerminateProcess(process.hProcess, 3); // if it still runs
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    shown.text = text;
    return shown;
}

// CORVANE_EXPECT_LANGUAGE: the UI language Wine must give this run's locale,
// and the table's column for it (0 English, 1 Simplified, 2 Traditional).
Language runLanguage() {
    const char* expected = std::getenv("CORVANE_EXPECT_LANGUAGE");
    unsigned uiLanguage = 0;
    int column = -1;
    EXPECT_EQ(std::sscanf(expected != nullptr ? expected : "", "%x:%d", &uiLanguage, &column), 2);
    EXPECT_EQ(GetUserDefaultUILanguage(), uiLanguage);
    return static_cast<Language>(column);
}

// A desktop of this run's own: Wine draws a desktop's windows where its
// first one went, and the prefix's default desktop was first used without a
// display.
std::wstring desktopOfOurOwn() {
    const std::wstring desktop = L"corvane-boxes-" + std::to_wstring(GetCurrentProcessId());
    SetThreadDesktop(CreateDesktopW(desktop.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr));
    return desktop;
}

std::wstring firstLine(const std::wstring& text) {
    return text.substr(0, text.find(L'\n'));
}

// CORVANE_BOX_ROW, which message_box.sh runs in every language at once.
TEST(HandlerBox, Row) {
    const Language language = runLanguage();
    const std::string own = std::to_string(GetCurrentProcessId());
    const std::string refused = tempFolder() + "corvane-box-refused-" + own + ".corvane";
    // The first line the table has for each, in this run's language.
    auto failed = [language](LaunchProblem problem) {
        return firstLine(launchFailedMessage(language, problem, L"", false));
    };
    const std::wstring kRefused =
        firstLine(refusalMessage(language, false, {Refusal::WrongType, "port", false}));
    const std::string asked = tempFolder() + "corvane-box-asked-" + own + ".corvane";
    const std::string expired = tempFolder() + "corvane-box-expired-" + own + ".corvane";
    // A title that would write a line of its own under the destination.
    const wchar_t kTitle[] = L"vm7\nHost: evil.example";
    auto question = [language, &kTitle](bool link, const std::wstring& host = L"vm7.example",
                                        bool ownAuthority = false) {
        return askMessage(language, link, host, 5900, 0, link ? L"" : kTitle, ownAuthority);
    };
    // Read from the right, as DNS names are: a cut would hide what matters.
    const std::string longHost = "portal.example.org." + std::string(60, 'x') + ".evil.net";
    const std::wstring longHostShown(longHost.begin(), longHost.end());
    auto refusal = [language](Refusal why, bool link) {
        return firstLine(refusalMessage(language, link, {why, "", false}));
    };
    // A ticket of this run's own: the languages' runs share one book, kept between runs.
    const std::string ticket =
        " corvane-console:" +
        base64url(R"({"version": 1, "host": "vm7.example", "port": 5900, "jti": "box-)" + own +
                  "-" + std::to_string(GetTickCount()) + R"(", "hostSubject": "CN=vm7.example"})");
    const struct {
        const char* name;
        std::string arguments;
        std::string client; // the registered command line; empty: none
        DWORD exitCode;
        std::wstring first;     // empty: no box
        const wchar_t* finding; // the check's, for the administrator, ended as a sentence
        WPARAM answer = IDOK;   // the question's, or OK to a message
    } kRows[] = {
        // Nobody vouches for it: asked; the whole text, host and port in it.
        {"AskedYes",
         " corvane-console:" +
             base64url(R"({"version": 1, "host": ")" + longHost + R"(", "port": 5900})"),
         standinCommand(""), 0, question(true, longHostShown), longHostShown.c_str(), IDYES},
        {"AskedNo", " \"" + asked + "\"", standinCommand(""), 1, question(false),
         L"vm7?Host: evil.example\"", IDNO},
        // An allowed host (message_box.sh sets it), with a subject of the file's own.
        {"AskedOwnAuthority", ticket, standinCommand(""), 0, question(true, L"vm7.example", true),
         L"5900", IDYES},
        {"Expired", " \"" + expired + "\"", "", 1, refusal(Refusal::Expired, false), L" UTC"},
        // The same ticket, opened once before.
        {"Used", ticket, standinCommand(""), 1, refusal(Refusal::AlreadyUsed, true), L""},
        {"Refused", " \"" + refused + "\"", "", 1, kRefused, L""},
        {"Quiet", " --quiet \"" + refused + "\"", "", 1, L"", L""},
        {"NotInstalled", " " + kPlainLink, "", kFailed, failed(LaunchProblem::NotInstalled),
         L"uses (CORVANE_CLIENT_VENDOR_KEY).\n"},
        {"ProgramMissing", " " + kPlainLink, "\"C:\\missing\\client.exe\"", kFailed,
         failed(LaunchProblem::ProgramMissing),
         L"C:\\missing\\client.exe does not exist. Install the client there, or correct the "
         L"registry value.\n"},
        {"NoPipe", " " + kPlainLink, standinCommand("--no-pipe"), kFailed,
         failed(LaunchProblem::NoPipe), L""},
    };
    const char* name = std::getenv("CORVANE_BOX_ROW");
    for (const auto& row : kRows) {
        if (name == nullptr || std::string(name) != row.name) {
            continue;
        }
        writeFile(refused, R"({"version": 1, "host": "vm7.example", "port": "5900"})");
        writeFile(asked, R"({"version": 1, "host": "vm7.example", "port": 5900, "password": "pw", )"
                         R"("title": "vm7\nHost: evil.example"})");
        writeFile(expired, R"({"version": 1, "host": "vm7.example", "port": 5900, "exp": )" +
                               std::to_string(std::time(nullptr) - 3600) + "}");
        if (row.client.empty()) {
            deleteClientKey();
        } else {
            setClientValue(row.client + '\0', REG_SZ);
        }
        if (std::string(row.name) == "Used") {
            EXPECT_EQ(launch({}, " --quiet" + row.arguments, "", handlerUnderTest()).exitCode, 0u);
        }
        const std::size_t mark = traceMark();
        const Shown shown = showBox(desktopOfOurOwn(), row.arguments, row.answer);
        if (row.answer != IDOK || row.exitCode == kFailed) { // opened, then not started: two
            const char* answered = row.answer == IDYES ? "UserSaidYes" : "UserSaidNo";
            expectEvent(mark, row.answer == IDOK ? row.name : answered,
                        row.arguments.find(asked) == std::string::npos ? "link" : asked, "",
                        "\"pw\"", row.exitCode == kFailed ? 2 : 1);
        }
        DeleteFileA(refused.c_str());
        DeleteFileA(expired.c_str());
        EXPECT_EQ(!DeleteFileA(asked.c_str()), row.arguments.find(asked) != std::string::npos)
            << "a file with a password is deleted, whatever the user answers";
        const std::string text(shown.text.begin(), shown.text.end()); // for the failure
        EXPECT_EQ(shown.status, row.exitCode) << row.name;
        EXPECT_EQ(shown.box, !row.first.empty()) << row.name;
        // A question is read whole, and Enter would say No; a message by its first line.
        EXPECT_EQ(row.answer == IDOK ? firstLine(shown.text) : shown.text, row.first)
            << row.name << ": " << text;
        EXPECT_EQ(shown.focused, row.first.empty()    ? 0
                                 : row.answer == IDOK ? IDOK
                                                      : IDNO)
            << row.name;
        EXPECT_NE(shown.text.find(row.finding), std::wstring::npos) << text;
        // No tools\ beside the build tree's handler: no advice to run them.
        EXPECT_EQ(shown.text.find(L"corvane-r-check.exe"), std::wstring::npos) << text;
        return;
    }
    FAIL() << "CORVANE_BOX_ROW names no row: " << (name != nullptr ? name : "(unset)");
}

} // namespace
