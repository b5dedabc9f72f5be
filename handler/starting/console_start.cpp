#include "console_start.h"

#include "user_sid.h"
#include "windows_text.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

namespace handler {

namespace {

wchar_t upper(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// Windows' variable names ignore case: "Spice_Password" is SPICE_PASSWORD.
bool isSpiceVariable(const wchar_t* entry) {
    static const wchar_t kPrefix[] = L"SPICE_";
    for (std::size_t i = 0; i < sizeof kPrefix / sizeof *kPrefix - 1; ++i) {
        if (upper(entry[i]) != kPrefix[i]) {
            return false;
        }
    }
    return true;
}

std::wstring nameOf(const std::wstring& entry) {
    // Entries such as "=C:=C:\\dir" name a drive's directory: their name
    // starts after the first '='.
    return entry.substr(0, entry.find(L'=', 1));
}

bool byName(const std::wstring& a, const std::wstring& b) {
    const std::wstring left = nameOf(a);
    const std::wstring right = nameOf(b);
    return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end(),
                                        [](wchar_t x, wchar_t y) { return upper(x) < upper(y); });
}

// Ours as Windows keeps it, in UTF-16: the ANSI block would be in the OEM
// code page, and would turn any character outside the code page into '?',
// in the user's profile path and everything below it.
std::vector<std::wstring> inheritedVariables() {
    std::vector<std::wstring> entries;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        entries.emplace_back(entry);
    }
    FreeEnvironmentStringsW(strings);
    return entries;
}

// Ours less every SPICE_ variable, then the connection's, sorted by name as
// Windows keeps an environment block. The connection's texts are in the
// ANSI code page, where each was checked to have an exact equivalent.
std::wstring environmentFor(const Connection& connection, const std::string& caPath) {
    std::vector<std::wstring> entries;
    for (std::wstring& entry : inheritedVariables()) {
        if (!isSpiceVariable(entry.c_str())) {
            entries.push_back(std::move(entry));
        }
    }
    const std::pair<const wchar_t*, std::string> parameters[] = {
        {L"SPICE_HOST", connection.host},
        {L"SPICE_PORT", connection.port != 0 ? std::to_string(connection.port) : ""},
        {L"SPICE_SPORT", connection.securePort != 0 ? std::to_string(connection.securePort) : ""},
        {L"SPICE_PASSWORD", connection.password},
        {L"SPICE_TITLE", connection.title},
        {L"SPICE_CA_FILE", caPath.empty() ? connection.caFile : caPath},
        {L"SPICE_HOST_SUBJECT", connection.hostSubject},
    };
    for (const auto& [name, value] : parameters) {
        if (!value.empty()) {
            entries.push_back(std::wstring(name) + L"=" + ansiToWide(value));
        }
    }
    std::stable_sort(entries.begin(), entries.end(), byName);
    std::wstring block;
    for (const std::wstring& entry : entries) {
        block += entry + L'\0';
    }
    return block + L'\0';
}

// A new file that only this user can open: an explicit access list with
// one entry, not inherited from the folder.
HANDLE createPrivateFile(const std::string& path) {
    std::vector<BYTE> user;
    const PSID sid = currentUserSid(user);
    if (sid == nullptr) {
        return INVALID_HANDLE_VALUE;
    }
    const DWORD aclSize =
        static_cast<DWORD>(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE)) + GetLengthSid(sid);
    std::vector<BYTE> aclBytes(aclSize);
    auto* acl = reinterpret_cast<PACL>(aclBytes.data());
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeAcl(acl, aclSize, ACL_REVISION) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid) ||
        !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
        return INVALID_HANDLE_VALUE;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The inline certificate authority in the user's temp folder, under a name
// no other file has; the path, or empty with `error` set.
std::string writeCa(const std::string& pem, unsigned long& error) {
    char folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder) {
        error = GetLastError();
        return {};
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = std::string(folder) + "corvane-ca-" +
                           std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt) +
                           ".pem";
        HANDLE file = createPrivateFile(path);
        if (file == INVALID_HANDLE_VALUE) {
            error = GetLastError();
            if (error == ERROR_FILE_EXISTS) {
                continue;
            }
            return {};
        }
        DWORD written = 0;
        const BOOL wrote =
            WriteFile(file, pem.data(), static_cast<DWORD>(pem.size()), &written, nullptr);
        CloseHandle(file);
        if (wrote && written == pem.size()) {
            return path;
        }
        error = wrote ? ERROR_WRITE_FAULT : GetLastError();
        DeleteFileA(path.c_str());
        return {};
    }
    return {};
}

std::wstring profileFolder() {
    wchar_t profile[MAX_PATH + 1] = {};
    const DWORD length = GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? profile : programFolder();
}

} // namespace

std::wstring programFolder() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            const std::wstring full(path.data(), length);
            return full.substr(0, full.rfind(L'\\') + 1);
        }
        path.resize(path.size() * 2);
    }
}

ConsoleRun openConsole(const Connection& connection) {
    ConsoleRun run;
    run.launcherPath = programFolder() + L"corvane-r.exe";
    std::string caPath;
    if (!connection.ca.empty()) {
        caPath = writeCa(connection.ca, run.error);
        if (caPath.empty()) {
            run.opened = Opened::CaNotWritten;
            return run;
        }
    }
    std::wstring environment = environmentFor(connection, caPath);
    std::wstring commandLine = L"\"" + run.launcherPath + L"\"";
    const std::wstring directory = profileFolder();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // No console window: the launcher, and a console client after it, share
    // a hidden one, which the user cannot close under a running console.
    const DWORD flags = CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT;
    const BOOL started = CreateProcessW(run.launcherPath.c_str(), // by full path, never searched
                                        commandLine.data(), nullptr, nullptr,
                                        FALSE, // no handle inheritance
                                        flags, environment.data(),
                                        directory.c_str(), // not the download's folder
                                        &startup, &process);
    if (!started) {
        run.error = GetLastError();
        run.opened = Opened::LauncherNotStarted;
    } else {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD status = 0;
        GetExitCodeProcess(process.hProcess, &status);
        run.status = static_cast<int>(status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (!caPath.empty()) {
        DeleteFileA(caPath.c_str());
    }
    return run;
}

} // namespace handler
