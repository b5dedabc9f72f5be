#include "console_start.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace handler {

namespace {

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Windows' variable names ignore case: "Spice_Password" is SPICE_PASSWORD.
bool isSpiceVariable(const char* entry) {
    static const char kPrefix[] = "SPICE_";
    for (std::size_t i = 0; i < sizeof kPrefix - 1; ++i) {
        if (upper(entry[i]) != kPrefix[i]) {
            return false;
        }
    }
    return true;
}

std::string nameOf(const std::string& entry) {
    // Entries such as "=C:=C:\\dir" name a drive's directory: their name
    // starts after the first '='.
    return entry.substr(0, entry.find('=', 1));
}

bool byName(const std::string& a, const std::string& b) {
    const std::string left = nameOf(a);
    const std::string right = nameOf(b);
    return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end(),
                                        [](char x, char y) { return upper(x) < upper(y); });
}

// Ours less every SPICE_ variable, then the connection's, sorted by name as
// Windows keeps an environment block.
std::string environmentFor(const Connection& connection, const std::string& caPath) {
    std::vector<std::string> entries;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
        if (!isSpiceVariable(entry)) {
            entries.emplace_back(entry);
        }
    }
    FreeEnvironmentStringsA(strings);
    const std::pair<const char*, std::string> parameters[] = {
        {"SPICE_HOST", connection.host},
        {"SPICE_PORT", connection.port != 0 ? std::to_string(connection.port) : ""},
        {"SPICE_SPORT", connection.securePort != 0 ? std::to_string(connection.securePort) : ""},
        {"SPICE_PASSWORD", connection.password},
        {"SPICE_TITLE", connection.title},
        {"SPICE_CA_FILE", caPath.empty() ? connection.caFile : caPath},
        {"SPICE_HOST_SUBJECT", connection.hostSubject},
    };
    for (const auto& [name, value] : parameters) {
        if (!value.empty()) {
            entries.push_back(std::string(name) + "=" + value);
        }
    }
    std::stable_sort(entries.begin(), entries.end(), byName);
    std::string block;
    for (const std::string& entry : entries) {
        block += entry + '\0';
    }
    return block + '\0';
}

// A new file that only this user can open: an explicit access list with
// one entry, not inherited from the folder.
HANDLE createPrivateFile(const std::string& path) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return INVALID_HANDLE_VALUE;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    const BOOL known = GetTokenInformation(token, TokenUser, user.data(), size, &size);
    CloseHandle(token);
    if (!known) {
        return INVALID_HANDLE_VALUE;
    }
    PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
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

std::wstring ownFolder() {
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

std::wstring profileFolder() {
    wchar_t profile[MAX_PATH + 1] = {};
    const DWORD length = GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? profile : ownFolder();
}

} // namespace

ConsoleRun openConsole(const Connection& connection) {
    ConsoleRun run;
    run.launcherPath = ownFolder() + L"corvane-r.exe";
    std::string caPath;
    if (!connection.ca.empty()) {
        caPath = writeCa(connection.ca, run.error);
        if (caPath.empty()) {
            run.opened = Opened::CaNotWritten;
            return run;
        }
    }
    std::string environment = environmentFor(connection, caPath);
    std::wstring commandLine = L"\"" + run.launcherPath + L"\"";
    const std::wstring directory = profileFolder();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessW(run.launcherPath.c_str(), // by full path, never searched
                                        commandLine.data(), nullptr, nullptr,
                                        FALSE, // no handle inheritance
                                        0,     // an ANSI environment block
                                        environment.data(),
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
