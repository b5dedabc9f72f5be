// corvane-r-open.exe end to end under Wine: connection files and links
// opened through the shell, as a browser opens them, with the registration
// the MSI writes naming this build's handler; the real launcher behind it and
// the stand-in as the client. One row a file of the shared table.
#include "base64url.h"
#include "launch_driver.h"
#include "wire.h"

#include <gtest/gtest.h>

#include <sddl.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace e2e;
using namespace wire;
using Messages = std::vector<std::string>;

constexpr DWORD kFailed = 0xFFFFFFFF; // -1 as a Windows parent reads it
constexpr char kClasses[] = "Software\\Classes\\";
// What a stray environment holds: none of it may reach the client.
const Variables kStray = {{"SPICE_PASSWORD", "stray"}, {"Spice_Host_Subject", "stray"}};

std::string readFile(const std::string& path) {
    std::ostringstream contents;
    contents << std::ifstream(path, std::ios::binary).rdbuf();
    return contents.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<Json> readTable() {
    std::vector<Json> rows;
    std::istringstream lines(readFile("Z:" CORVANE_CONNECTION_TABLE));
    for (std::string line; std::getline(lines, line);) {
        rows.push_back(Json::parse(line));
    }
    return rows;
}

std::string fileBytes(const Json& row) {
    std::string bytes = row.value("text", "");
    const std::string hex = row.value("hex", "");
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes + std::string(row.value("pad", 0u), ' ');
}

std::string tempFolder() {
    char folder[MAX_PATH] = {};
    GetTempPathA(sizeof folder, folder);
    return folder;
}

std::string variable(const char* name) {
    char value[MAX_PATH] = {};
    GetEnvironmentVariableA(name, value, sizeof value);
    return value;
}

std::string userSid() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    BYTE user[256] = {};
    DWORD size = sizeof user;
    GetTokenInformation(token, TokenUser, user, size, &size);
    CloseHandle(token);
    char* text = nullptr;
    ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &text);
    const std::string sid = text;
    LocalFree(text);
    return sid;
}

// Who an access list in SDDL lets in. Wine keeps a file's access in its Unix
// mode and shows the owner's part as the user and SYSTEM, and a
// world-readable file (what a file made without an access list of its own
// is) with Everyone ("WD") besides.
std::set<std::string> trustees(const std::string& sddl) {
    std::set<std::string> found;
    for (std::size_t end = sddl.find(')'); end != std::string::npos; end = sddl.find(')', end + 1)) {
        const std::size_t from = sddl.rfind(';', end) + 1;
        found.insert(sddl.substr(from, end - from));
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
        if (!add) {
            SHDeleteKeyA(HKEY_LOCAL_MACHINE, key.substr(0, key.find('\\', sizeof kClasses)).c_str());
            continue;
        }
        const std::size_t at = data.find("{handler}");
        if (at != std::string::npos) {
            data.replace(at, 9, handlerUnderTest());
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
    if (!ShellExecuteExA(&info) || info.hProcess == nullptr) {
        return STILL_ACTIVE; // matches no expected status
    }
    WaitForSingleObject(info.hProcess, INFINITE); // CTest's limit stops a hung run
    DWORD status = STILL_ACTIVE;
    GetExitCodeProcess(info.hProcess, &status);
    CloseHandle(info.hProcess);
    return status;
}

// What the client receives from each accepted file: its parameters, in the
// ANSI code page (Windows-1252 here), in the launcher's order. kInlineCa
// stands for the file the handler wrote.
const std::string kInlineCa = "inline CA";
const struct {
    const char* name;
    Messages messages;
} kReceived[] = {
    {"Everything",
     {kInit, text(1, "vm7.example"), number(2, 5900), number(3, 5901), text(4, "s3cret-once"),
      text(11, "Konsole f\xfcr vm7"), text(8, "C:\\certs\\ca.pem"),
      text(9, "C=DE, CN=vm7.example"), kShow, kConnect}},
    {"ByLink", {kInit, text(1, "vm7.example"), number(3, 5901), text(11, "vm7"), kShow, kConnect}},
    {"InlineCaWithByteOrderMark",
     {kInit, text(1, "vm7.example"), number(3, 5901), kInlineCa, kShow, kConnect}},
    {"LongLinkAsArgument",
     {kInit, text(1, "vm7.example"), number(2, 5900), text(4, "pw"),
      text(11, std::string(1023, '\xfc')), kShow, kConnect}},
};

Messages received(const std::string& name, const std::string& caPath) {
    for (const auto& row : kReceived) {
        if (name == row.name) {
            Messages messages = row.messages;
            for (std::string& message : messages) {
                message = message == kInlineCa ? text(8, caPath) : message;
            }
            return messages;
        }
    }
    ADD_FAILURE() << name << ": an accepted row needs its messages in kReceived";
    return {};
}

class ConnectionFile : public ::testing::TestWithParam<Json> {
protected:
    static void SetUpTestSuite() {
        registerBrowser(true);
        for (const auto& [name, value] : kStray) {
            SetEnvironmentVariableA(name.c_str(), value.c_str());
        }
    }
    static void TearDownTestSuite() {
        registerBrowser(false);
        deleteClientKey();
    }
};

TEST_P(ConnectionFile, OpenedAsABrowserOpensIt) {
    ASSERT_EQ(GetACP(), 1252u) << "the expected bytes are Windows-1252's";
    const Json& row = GetParam();
    const std::string name = row["name"];
    const std::string via = row["via"];
    const bool accepted = row["verdict"] == "accepted";
    const std::string bytes = fileBytes(row);
    const std::string path = tempFolder() + "corvane-e2e-" + name + ".corvane";
    const std::string target = via == "file"      ? path
                               : via == "rawlink" ? bytes
                                                  : "corvane-console:" + base64url(bytes);
    setClientValue(standinCommand("--reveal-password") + '\0', REG_SZ);
    clearTranscript();
    if (via == "file") {
        writeFile(path, bytes);
    }

    DWORD status = STILL_ACTIVE;
    if (via == "argument") {
        ASSERT_GT(target.size(), 256u) << "longer than the shell passes on: given as the argument";
        status = launch(kStray, " " + target, "", handlerUnderTest()).exitCode;
    } else {
        ASSERT_LT(target.size(), 256u) << "the shell cuts longer links";
        status = shellOpen(target);
    }
    EXPECT_EQ(status, accepted ? 0u : 1u);
    if (via == "file") {
        const bool deleted = row["deleted"];
        EXPECT_EQ(!exists(path), deleted) << "deleted if and only if it held a password";
        if (!deleted) {
            EXPECT_EQ(readFile(path), bytes) << "a file left must be left exactly as it was";
        }
    }

    const std::vector<Json> transcript = readTranscript();
    if (!accepted) {
        EXPECT_TRUE(transcript.empty()) << "a refused file starts nothing";
        // The message, from a second copy given on the command line.
        writeFile(path, bytes);
        const Launch quiet =
            launch({}, " --quiet \"" + (via == "file" ? path : target) + "\"", "", handlerUnderTest());
        EXPECT_EQ(quiet.exitCode, 1u);
        EXPECT_NE(quiet.output.find(row["says"].get<std::string>()), std::string::npos)
            << quiet.output;
        DeleteFileA(path.c_str());
        return;
    }
    Launch run;
    run.transcript = transcript;
    const Json ca = run.first("ca_file");
    EXPECT_EQ(run.messages(), received(name, ca.value("path", "")));
    EXPECT_EQ(run.first("start").value("cwd", ""), variable("USERPROFILE"));
    EXPECT_EQ(run.first("exit").value("code", -1), 0);
    const std::string pem = Json::parse(bytes).value("ca", "");
    if (!pem.empty()) {
        const std::string caPath = ca.value("path", "");
        EXPECT_EQ(ca.value("contents", ""), pem) << "the CA file, whole, while the client runs";
        EXPECT_EQ(trustees(ca.value("access", "")), std::set<std::string>({"SY", userSid()}));
        EXPECT_EQ(caPath.rfind(tempFolder(), 0), 0u) << caPath << ": not in the user's temp folder";
        EXPECT_FALSE(exists(caPath)) << "removed once the launcher has exited";
    }
    DeleteFileA(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Table, ConnectionFile, ::testing::ValuesIn(readTable()),
                         [](const auto& row) { return row.param["name"].template get<std::string>(); });

// With no client registered the launcher fails, and so does the handler,
// with the launcher's status, through the shell as through the argument.
TEST(Handler, LaunchFailureGivesTheLaunchersStatus) {
    registerBrowser(true);
    deleteClientKey();
    const std::string link =
        "corvane-console:" + base64url(R"({"version": 1, "host": "vm7.example", "port": 5900})");
    EXPECT_EQ(shellOpen(link), kFailed);
    const Launch quiet = launch({}, " --quiet " + link, "", handlerUnderTest());
    EXPECT_EQ(quiet.exitCode, kFailed);
    EXPECT_NE(quiet.output.find("spicex (32-bit view) does not exist"), std::string::npos)
        << quiet.output;
    registerBrowser(false);
}

TEST(Handler, BadCommandLines) {
    const struct {
        const char* arguments;
        DWORD exitCode;
        const char* says;
    } kLines[] = {
        {" --quiet", 2, "Usage: corvane-r-open.exe [--quiet] FILE.corvane"},
        {" --quiet one.corvane two.corvane", 2, "Usage:"},
        {" --quiet Z:\\no\\such\\console.corvane", 1, "The connection file cannot be read: error 3."},
    };
    for (const auto& line : kLines) {
        const Launch run = launch({}, line.arguments, "", handlerUnderTest());
        EXPECT_EQ(run.exitCode, line.exitCode) << line.arguments;
        EXPECT_NE(run.output.find(line.says), std::string::npos) << line.arguments << ": " << run.output;
    }
}

} // namespace
