// The handler's message box as the user sees it: run under an X server
// (message_box.sh starts Xvfb), where Wine shows real windows, the box is
// found by its caption, its text read and its OK button pressed. Run once
// per UI language; CORVANE_EXPECT_LANGUAGE says which ("en" or "zh").
#include "launch_driver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using namespace e2e;

constexpr wchar_t kCaption[] = L"Corvane Remote Console";

std::wstring wide(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

struct Shown {
    DWORD exitCode = STILL_ACTIVE;
    bool box = false;
    std::wstring text; // the box's message
};

// A desktop of this run's own. The prefix's default desktop was made by
// the tests that run without a display, and Wine draws every window of a
// desktop where its first one went: nowhere.
HDESK ownDesktop(std::wstring& name) {
    name = L"corvane-boxes-" + std::to_wstring(GetCurrentProcessId());
    HDESK desktop = CreateDesktopW(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetThreadDesktop(desktop);
    return desktop;
}

// Starts the handler and, while it runs, looks for its box; a box found is
// read and answered with OK, as a user would.
Shown run(const std::string& arguments) {
    static std::wstring desktopName;
    static HDESK desktop = ownDesktop(desktopName);
    (void)desktop;
    std::wstring commandLine = L"\"" + wide(handlerUnderTest()) + L"\"" + wide(arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.lpDesktop = desktopName.data();
    PROCESS_INFORMATION process = {};
    Shown shown;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return shown;
    }
    for (int waited = 0; waited < 200 && !shown.box; ++waited) {
        HWND box = FindWindowW(L"#32770", kCaption);
        if (box != nullptr) {
            wchar_t text[4096] = {};
            GetWindowTextW(GetDlgItem(box, 0xFFFF), text, 4096);
            shown = {STILL_ACTIVE, true, text};
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        } else if (WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0) {
            break; // ended without a box
        }
    }
    WaitForSingleObject(process.hProcess, 10000);
    GetExitCodeProcess(process.hProcess, &shown.exitCode);
    if (shown.exitCode == STILL_ACTIVE) {
        TerminateProcess(process.hProcess, 3);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return shown;
}

std::string refusedFile() {
    char folder[MAX_PATH] = {};
    GetTempPathA(sizeof folder, folder);
    const std::string path = folder + std::string("corvane-box-refused.corvane");
    std::ofstream(path, std::ios::binary) << R"({"version": 1, "host": "vm7.example", "port": "5900"})";
    return path;
}

bool chinese() {
    const char* language = std::getenv("CORVANE_EXPECT_LANGUAGE");
    return language != nullptr && std::string(language) == "zh";
}

TEST(HandlerBox, InTheUsersLanguage) {
    ASSERT_EQ(GetUserDefaultUILanguage(), chinese() ? 0x0804 : 0x0409)
        << "the language this run was started in";
    deleteClientKey();
    constexpr DWORD kFailedStatus = 0xFFFFFFFF; // -1 as a Windows parent reads it
    const std::string link = " corvane-console:eyJ2ZXJzaW9uIjogMSwgImhvc3QiOiAidm03LmV4YW1wbGUiLCAicG9ydCI6IDU5MDB9";
    const struct {
        const char* name;
        std::string arguments;
        DWORD exitCode;
        const wchar_t* english; // the box says this, or with nullptr shows no box
        const wchar_t* chinese;
    } kRows[] = {
        {"refused file", " \"" + refusedFile() + "\"", 1,
         L"This connection file cannot be used: the member \"port\" has the wrong type.",
         L"无法使用此连接文件：成员 \"port\" 类型错误。"},
        // The check's findings are an admin's, in English either way.
        {"failed launch", link, kFailedStatus,
         L"The console could not be opened.\n\nHKLM\\Software\\",
         L"无法打开控制台。\n\nHKLM\\Software\\"},
        {"quiet", " --quiet \"" + refusedFile() + "\"", 1, nullptr, nullptr},
    };
    for (const auto& row : kRows) {
        const Shown shown = run(row.arguments);
        EXPECT_EQ(shown.exitCode, row.exitCode) << row.name;
        const wchar_t* expected = chinese() ? row.chinese : row.english;
        EXPECT_EQ(shown.box, expected != nullptr) << row.name;
        if (expected != nullptr) {
            EXPECT_EQ(shown.text.rfind(expected, 0), 0u)
                << row.name << ": " << std::string(shown.text.begin(), shown.text.end());
        }
    }
}

} // namespace
