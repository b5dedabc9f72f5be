#include "launch_driver.h"

#include "client_registry.h"

#include <cstring>
#include <fstream>
#include <sstream>

namespace e2e {

namespace {

// Under Wine the Linux root is drive Z:.
std::string windowsPath(const char* fromEnvironment, const char* built) {
    char buffer[MAX_PATH * 2];
    const DWORD length = GetEnvironmentVariableA(fromEnvironment, buffer, sizeof buffer);
    std::string path = length > 0 && length < sizeof buffer ? buffer : built;
    if (path[0] == '/') {
        path = "Z:" + path;
        for (char& c : path) {
            c = c == '/' ? '\\' : c;
        }
    }
    return path;
}

std::string scratchPath(const char* name) {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    return temp + std::string("corvane-") + std::to_string(GetCurrentProcessId()) + "-" + name;
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

bool isLauncherVariable(const std::string& name) {
    return name.rfind("SPICE_", 0) == 0 || name == "G_MESSAGES_DEBUG";
}

// Ours, less anything the launcher reads or sets, then the launch's own.
std::string environmentBlock(const Variables& variables) {
    std::string block;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
        const char* equals = std::strchr(entry + 1, '=');
        if (equals != nullptr && !isLauncherVariable(std::string(entry, equals))) {
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

std::string launcherUnderTest() {
    return windowsPath("CORVANE_LAUNCHER_UNDER_TEST", CORVANE_LAUNCHER_PATH);
}

std::string standinUnderTest() {
    return windowsPath("CORVANE_STANDIN_UNDER_TEST", CORVANE_STANDIN_PATH);
}

std::string standinCommand(const std::string& options) {
    return "\"" + standinUnderTest() + "\" --transcript \"" + scratchPath("transcript.jsonl") +
           "\" " + options;
}

void setClientValue(const std::string& data, DWORD type) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, launcher::kClientKeyPath, 0, nullptr, 0, KEY_SET_VALUE,
                    nullptr, &key, nullptr);
    RegSetValueExA(key, launcher::kClientValueName, 0, type,
                   reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
}

void deleteClientKey() {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, launcher::kClientKeyPath);
}

Launch launch(const Variables& variables, const std::string& arguments,
              const std::string& directory) {
    const std::string transcriptPath = scratchPath("transcript.jsonl");
    const std::string outputPath = scratchPath("output.txt");
    DeleteFileA(transcriptPath.c_str());
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = INVALID_HANDLE_VALUE;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process = {};
    const std::string probeName = "corvane-inherited-" + std::to_string(GetCurrentProcessId());
    HANDLE inheritProbe = CreateEventA(&inheritable, TRUE, FALSE, probeName.c_str());
    std::string commandLine = "\"" + launcherUnderTest() + "\"" + arguments;
    std::string environment = environmentBlock(variables);

    Launch result;
    result.startUs = probe::clockMicroseconds();
    const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        environment.data(),
                                        directory.empty() ? nullptr : directory.c_str(), &startup,
                                        &process);
    CloseHandle(output);
    CloseHandle(inheritProbe);
    if (!started) {
        result.exitCode = STILL_ACTIVE; // matches no expected status
        return result;
    }
    // Longer than any run the tests expect: a hung launcher fails, not waits.
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, STILL_ACTIVE);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    result.endUs = probe::clockMicroseconds();
    HANDLE stillOpen = OpenEventA(SYNCHRONIZE, FALSE, probeName.c_str());
    result.handleOutlivedLauncher = stillOpen != nullptr;
    CloseHandle(stillOpen);
    result.pid = process.dwProcessId;
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    result.output = readFile(outputPath);

    result.transcript = readTranscript();
    return result;
}

std::vector<Json> readTranscript() {
    std::vector<Json> events;
    std::istringstream lines(readFile(scratchPath("transcript.jsonl")));
    for (std::string line; std::getline(lines, line);) {
        events.push_back(Json::parse(line, nullptr, false));
    }
    return events;
}

Json Launch::first(const char* event) const {
    for (const Json& line : transcript) {
        if (line.value("event", "") == event) {
            return line;
        }
    }
    return Json::object();
}

std::vector<std::string> Launch::messages() const {
    std::vector<std::string> messages;
    for (const Json& line : transcript) {
        if (line.value("event", "") != "message") {
            continue;
        }
        if (!line.value("valid", false)) {
            messages.push_back("invalid: " + line.value("error", "?"));
            continue;
        }
        const std::string hex = line.value("bytes", "");
        std::string bytes;
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
            bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        }
        messages.push_back(bytes);
    }
    return messages;
}

std::string Launch::environment(const char* name) const {
    for (const Json& line : transcript) {
        if (line.value("event", "") == "env" && line.value("name", "") == name) {
            return line.value("value", "");
        }
    }
    return "<unset>";
}

bool stopIfRunning(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) {
        return false;
    }
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    if (running) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
    return running;
}

} // namespace e2e
