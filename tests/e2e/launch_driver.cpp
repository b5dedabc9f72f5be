#include "launch_driver.h"

#include "launch_sequence.h"

#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace e2e {

namespace {

// Spelled here, not taken from the launcher's constant: a slip there would
// otherwise move the tests' key along with the launcher's.
constexpr char kClientKey[] = "Software\\" CORVANE_CLIENT_VENDOR_KEY "\\spicex";

// A path the build gave us, or the environment's override; under Wine the
// Linux root is drive Z:.
std::string windowsPath(const char* variable, const char* built) {
    const char* path = *variable != '\0' ? std::getenv(variable) : nullptr;
    path = path != nullptr && *path != '\0' ? path : built;
    return (path[0] == '/' ? "Z:" : "") + std::string(path);
}

std::string scratchPath(const char* name) {
    return tempFolder() + "corvane-" + std::to_string(GetCurrentProcessId()) + "-" + name;
}

// Ours, less anything the launcher reads or sets, then the launch's own.
std::string environmentBlock(const Variables& variables) {
    std::string block;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
        if (std::strncmp(entry, "SPICE_", 6) != 0 &&
            std::strncmp(entry, "G_MESSAGES_DEBUG=", 17) != 0) {
            block += entry + std::string(1, '\0');
        }
    }
    FreeEnvironmentStringsA(strings);
    for (const auto& [name, value] : variables) {
        block += name + "=" + value + std::string(1, '\0');
    }
    return block + '\0';
}

} // namespace

std::string readFile(const std::string& path) {
    std::ostringstream contents;
    contents << std::ifstream(path, std::ios::binary).rdbuf();
    return contents.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string fromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

std::string tempFolder() {
    char folder[MAX_PATH] = {};
    GetTempPathA(sizeof folder, folder);
    return folder;
}

std::string launcherUnderTest(bool checked) {
    return checked ? windowsPath("CORVANE_LAUNCHER_UNDER_TEST", CORVANE_LAUNCHER_PATH)
                   : windowsPath("", CORVANE_UNCHECKED_LAUNCHER_PATH);
}

std::string checkToolUnderTest() {
    return windowsPath("", CORVANE_CHECK_TOOL_PATH);
}

std::string handlerUnderTest() {
    return windowsPath("", CORVANE_HANDLER_PATH);
}

std::string standinCommand(const std::string& options) {
    return "\"" + windowsPath("CORVANE_STANDIN_UNDER_TEST", CORVANE_STANDIN_PATH) +
           "\" --transcript \"" + scratchPath("transcript.jsonl") + "\" " + options;
}

void setClientValue(const std::string& data, DWORD type, REGSAM view) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kClientKey, 0, nullptr, 0,
                    KEY_SET_VALUE | (view != 0 ? view : launcher::kClientView), nullptr, &key,
                    nullptr);
    RegSetValueExA(key, "client", 0, type, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size()));
    RegCloseKey(key);
}

void deleteClientKey() {
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kClientKey, KEY_WOW64_32KEY, 0);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kClientKey, KEY_WOW64_64KEY, 0);
}

bool oneRegistryView() {
    const char* arch = std::getenv("CORVANE_WINE_ARCH");
    return arch != nullptr && std::string(arch) == "win32";
}

Launch launch(const Variables& variables, const std::string& arguments,
              const std::string& directory, const std::string& launcher,
              const std::function<void(DWORD pid)>& whileSuspended) {
    clearTranscript();
    // A file of its own each time: a process that inherited an earlier one
    // (Wine's desktop, which the first box starts) may still hold it open.
    static unsigned launches = 0;
    const std::string outputPath =
        scratchPath(("output-" + std::to_string(++launches) + ".txt").c_str());
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const std::string probeName = "corvane-inherited-" + std::to_string(GetCurrentProcessId());
    HANDLE inheritProbe = CreateEventA(&inheritable, TRUE, FALSE, probeName.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = INVALID_HANDLE_VALUE;
    startup.hStdOutput = startup.hStdError = output;
    PROCESS_INFORMATION process = {};
    std::string commandLine = "\"" + launcher + "\"" + arguments;
    std::string environment = environmentBlock(variables);

    Launch result;
    result.startUs = probe::clockMicroseconds();
    const BOOL started = CreateProcessA(
        nullptr, commandLine.data(), nullptr, nullptr, TRUE, whileSuspended ? CREATE_SUSPENDED : 0,
        environment.data(), directory.empty() ? nullptr : directory.c_str(), &startup, &process);
    CloseHandle(output);
    CloseHandle(inheritProbe);
    if (!started) {
        result.exitCode = STILL_ACTIVE; // matches no expected status
        return result;
    }
    if (whileSuspended) {
        whileSuspended(process.dwProcessId);
        ResumeThread(process.hThread);
    }
    WaitForSingleObject(process.hProcess, INFINITE); // CTest's time limit stops a hung run
    result.endUs = probe::clockMicroseconds();
    HANDLE stillOpen = OpenEventA(SYNCHRONIZE, FALSE, probeName.c_str());
    result.handleOutlivedLauncher = stillOpen != nullptr;
    CloseHandle(stillOpen);
    result.pid = process.dwProcessId;
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    result.output = readFile(outputPath);
    DeleteFileA(outputPath.c_str());
    result.transcript = readTranscript();
    return result;
}

std::string trace() {
    const char* path = std::getenv("CORVANE_EVENT_TRACE");
    return path != nullptr ? readFile(std::string("Z:") + path) : "";
}

std::size_t traceMark() {
    return trace().size();
}

// "...:advapi:ReportEventW (log,type,category,id,sid,...)", then a line
// "...:eventlog:ReportEventW L"text"" a string, '\\' and '"' escaped.
std::vector<LoggedEvent> eventsSince(std::size_t mark) {
    std::vector<LoggedEvent> events;
    const std::string trace = e2e::trace();
    std::istringstream lines(trace.substr(std::min(mark, trace.size())));
    for (std::string line; std::getline(lines, line);) {
        const std::size_t call = line.find(":advapi:ReportEventW (");
        const std::size_t text = line.find(":eventlog:ReportEventW L\"");
        unsigned type = 0, id = 0, sid = 0;
        if (call != std::string::npos &&
            std::sscanf(line.c_str() + call, ":advapi:ReportEventW (%*[^,],%x,%*[^,],%x,%x", &type,
                        &id, &sid) == 3) {
            events.push_back({type, id, sid != 0, {}});
        } else if (text != std::string::npos && !events.empty()) {
            std::string& string = events.back().strings.emplace_back();
            for (std::size_t i = text + 25; i + 1 < line.size(); ++i) {
                string += line[i] == '\\' ? line[++i] : line[i];
            }
        }
    }
    return events;
}

void clearTranscript() {
    DeleteFileA(scratchPath("transcript.jsonl").c_str());
}

std::vector<Json> readTranscript() {
    std::vector<Json> events;
    std::istringstream lines(readFile(scratchPath("transcript.jsonl")));
    for (std::string line; std::getline(lines, line);) {
        events.push_back(Json::parse(line, nullptr, false));
    }
    return events;
}

std::string pipePathOf(DWORD launcherId) {
    char path[launcher::kPipePathSize];
    launcher::formatPipePath(path, launcherId);
    return path;
}

std::vector<Json> Launch::all(const char* event) const {
    std::vector<Json> found;
    for (const Json& line : transcript) {
        if (line.value("event", "") == event) {
            found.push_back(line);
        }
    }
    return found;
}

Json Launch::first(const char* event) const {
    const std::vector<Json> found = all(event);
    return found.empty() ? Json::object() : found.front();
}

std::vector<std::string> Launch::messages() const {
    std::vector<std::string> messages;
    for (const Json& message : all("message")) {
        messages.push_back(message.value("valid", false)
                               ? fromHex(message.value("bytes", ""))
                               : "invalid: " + message.value("error", ""));
    }
    return messages;
}

std::string Launch::environment(const char* name, bool wide) const {
    for (const Json& variable : all("env")) {
        if (variable.value("name", "") == name) {
            return wide ? fromHex(variable.value("utf8_hex", "")) : variable.value("value", "");
        }
    }
    return "<unset>";
}

bool stopIfRunning(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    const bool running = process != nullptr && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    if (running) {
        TerminateProcess(process, 1);
    }
    CloseHandle(process);
    return running;
}

namespace {

// A number as a DWORD, a string as a REG_SZ, true or false as one byte of
// REG_BINARY.
void setValue(HKEY key, const std::string& name, const Json& value) {
    const DWORD number = value.is_number() ? value.get<DWORD>() : value == true;
    const std::string text = value.is_string() ? value.get<std::string>() : "";
    const DWORD type = value.is_number() ? REG_DWORD : value.is_string() ? REG_SZ : REG_BINARY;
    RegSetValueExA(key, name.c_str(), 0, type,
                   type == REG_SZ ? reinterpret_cast<const BYTE*>(text.c_str())
                                  : reinterpret_cast<const BYTE*>(&number),
                   type == REG_SZ      ? DWORD(text.size() + 1)
                   : type == REG_DWORD ? 4
                                       : 1);
}

const std::string kPolicyPath = "Software\\Policies\\Corvane\\Remote Console";

// The keys named (a list's, or "" for the policy's own) made, their access
// list denying everyone the right to read them, as a botched delegation
// leaves them.
void denyReading(HKEY root, const Json& names) {
    PSECURITY_DESCRIPTOR denied = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(D;;KR;;;WD)(A;;KA;;;WD)",
                                                         SDDL_REVISION_1, &denied, nullptr);
    for (const Json& name : names) {
        const std::string list = name.get<std::string>();
        const std::string path = kPolicyPath + (list.empty() ? "" : "\\" + list);
        HKEY key = nullptr;
        RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, WRITE_DAC | KEY_WOW64_64KEY, nullptr,
                        &key, nullptr);
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, denied);
        RegCloseKey(key);
    }
    LocalFree(denied);
}

} // namespace

void writePolicy(const Json& policy) {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        for (const char* list : {"\\TrustedPublishers", "\\AllowedHosts", ""}) {
            RegDeleteKeyExA(root, (kPolicyPath + list).c_str(), KEY_WOW64_64KEY, 0);
        }
    }
    for (const auto& [level, values] : policy.items()) {
        for (const auto& [name, value] : values.items()) {
            if (name == "Unreadable") {
                denyReading(level == "machine" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, value);
                continue;
            }
            HKEY key = nullptr;
            RegCreateKeyExA(level == "machine" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                            (kPolicyPath + (value.is_array() ? "\\" + name : "")).c_str(), 0,
                            nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr);
            for (std::size_t i = 0; value.is_array() && i < value.size(); ++i) {
                setValue(key, std::to_string(i + 1), value[i]);
            }
            if (!value.is_array()) {
                setValue(key, name, value);
            }
            RegCloseKey(key);
        }
    }
}

std::string ticketBook() {
    char local[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local);
    return std::string(local) + "\\Corvane\\Tickets";
}

void clearTicketBook() {
    std::error_code missing;
    std::filesystem::remove_all(ticketBook(), missing);
}

} // namespace e2e
