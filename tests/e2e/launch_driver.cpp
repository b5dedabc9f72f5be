#include "launch_driver.h"

#include "windows_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace testing_support {

namespace {

bool isLauncherVariable(const std::string& name) {
    return name.rfind("SPICE_", 0) == 0 || name == "G_MESSAGES_DEBUG";
}

// Our own environment without any launcher variable, then the request's.
std::string environmentBlock(const LaunchRequest& request) {
    std::string block;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
        const std::string text = entry;
        const std::size_t equals = text.find('=', 1);
        if (equals != std::string::npos && !isLauncherVariable(text.substr(0, equals))) {
            block += text;
            block += '\0';
        }
    }
    FreeEnvironmentStringsA(strings);
    for (const auto& variable : request.variables) {
        block += variable.first + "=" + variable.second;
        block += '\0';
    }
    block += '\0';
    return block;
}

} // namespace

LaunchOutcome runLauncher(const LaunchRequest& request) {
    LaunchOutcome outcome;
    const std::string outputPath = makeScratchDirectory("output") + "\\output.txt";
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(output, INVALID_HANDLE_VALUE);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = INVALID_HANDLE_VALUE;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process = {};
    std::string commandLine = "\"" + launcherUnderTest() + "\"" + request.arguments;
    std::string environment = environmentBlock(request);

    outcome.startUs = clockMicroseconds();
    const BOOL started = CreateProcessA(
        nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, &environment[0],
        request.directory.empty() ? nullptr : request.directory.c_str(), &startup, &process);
    CloseHandle(output);
    EXPECT_TRUE(started) << "could not start " << commandLine;
    if (!started) {
        return outcome;
    }
    outcome.pid = process.dwProcessId;
    if (WaitForSingleObject(process.hProcess, request.timeoutMs) != WAIT_OBJECT_0) {
        outcome.timedOut = true;
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    outcome.endUs = clockMicroseconds();
    GetExitCodeProcess(process.hProcess, &outcome.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    outcome.output = readWholeFile(outputPath);
    return outcome;
}

std::string standinCommand(const std::string& transcriptPath, const std::string& options) {
    return "\"" + standinUnderTest() + "\" --transcript \"" + transcriptPath + "\" " + options;
}

void registerStandin(const std::string& transcriptPath, const std::string& options) {
    setClientValue(standinCommand(transcriptPath, options) + std::string(1, '\0'), REG_SZ);
}

std::string pipePathFor(DWORD pid) {
    return "\\\\.\\pipe\\SpiceController-" + std::to_string(pid);
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

} // namespace testing_support
