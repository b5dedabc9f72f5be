// A stand-in for the remote-display client: it plays the client's side of
// the controller contract and records what reaches it. Tests start it
// through the launcher; an admin can register it in place of the real client
// to see exactly what a launch hands over.
//
//   client-standin [--transcript FILE] [--readable FILE] [--reveal-password]
//                  [--pipe-delay-ms N] [--no-pipe] [--close-after K]
//                  [--linger-ms N] [--exit-code N] [--serve-from-child]
//
// --serve-from-child starts a second stand-in with the other options, which
// serves the pipe and writes the accounts, and exits with its exit code: a
// client whose registered program hands the pipe to a process it starts.
//
// The password is masked wherever it is written, the transcript's message
// bytes included, unless --reveal-password asks for it in clear.
#include "environment_record.h"
#include "pipe_serving.h"
#include "process_list.h"
#include "transcript.h"
#include "windows_probe.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace standin {
namespace {

struct Options {
    const char* transcript = nullptr;
    const char* readable = nullptr;
    bool revealPassword = false;
    ServeOptions serve;
    bool noPipe = false;
    bool serveFromChild = false;
    long lingerMs = 0;
    int exitCode = 0;
    std::string problem;
};

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--no-pipe") {
            options.noPipe = true;
        } else if (option == "--serve-from-child") {
            options.serveFromChild = true;
        } else if (option == "--reveal-password") {
            options.revealPassword = true;
        } else if (option == "--transcript" && hasValue) {
            options.transcript = argv[++i];
        } else if (option == "--readable" && hasValue) {
            options.readable = argv[++i];
        } else if (option == "--pipe-delay-ms" && hasValue) {
            options.serve.pipeDelayMs = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--close-after" && hasValue) {
            options.serve.closeAfter = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--linger-ms" && hasValue) {
            options.lingerMs = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--exit-code" && hasValue) {
            options.exitCode = static_cast<int>(std::strtol(argv[++i], nullptr, 10));
        } else {
            options.problem = "unknown option " + option;
        }
    }
    return options;
}

std::string currentDirectory() {
    char buffer[MAX_PATH * 2] = {};
    const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
    return std::string(buffer, length < sizeof buffer ? length : 0);
}

// Our own command line without --serve-from-child, run as a child that
// inherits our environment; its exit code becomes ours.
int serveFromChild() {
    std::string commandLine = GetCommandLineA();
    const std::string option = "--serve-from-child";
    commandLine.erase(commandLine.find(option), option.size());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &child)) {
        return 3;
    }
    DWORD code = 3;
    WaitForSingleObject(child.hProcess, INFINITE);
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return static_cast<int>(code);
}

int run(int argc, char** argv) {
    const long long startUs = probe::clockMicroseconds();
    const Options options = parseOptions(argc, argv);
    if (options.serveFromChild) {
        return serveFromChild();
    }
    Transcript transcript(options.transcript, options.readable, options.revealPassword);

    const std::string cwd = currentDirectory();
    const DWORD parent = tools::findProcess(GetCurrentProcessId()).parentId;
    transcript.json(JsonLine("start")
                        .add("clock_us", startUs)
                        .add("pid", static_cast<long long>(GetCurrentProcessId()))
                        .add("parent_pid", static_cast<long long>(parent))
                        .add("cwd", cwd)
                        .add("command_line", GetCommandLineA()));
    transcript.readable("client stand-in started: pid %lu, parent %lu, directory %s",
                        GetCurrentProcessId(), parent, cwd.c_str());
    if (!options.problem.empty()) {
        transcript.json(JsonLine("error").add("what", options.problem));
        transcript.readable("error: %s", options.problem.c_str());
        return 2;
    }
    transcript.readable("environment:");
    recordEnvironment(transcript);

    char pipePath[1024] = {};
    const DWORD pathLength =
        GetEnvironmentVariableA("SPICE_XPI_NAMEDPIPE", pipePath, sizeof pipePath);
    if (options.noPipe || pathLength == 0 || pathLength >= sizeof pipePath) {
        const char* why = options.noPipe ? "asked not to" : "SPICE_XPI_NAMEDPIPE is not set";
        transcript.json(JsonLine("no_pipe").add("why", why));
        transcript.readable("no controller pipe: %s", why);
    } else {
        servePipe(pipePath, options.serve, startUs, transcript);
    }

    Sleep(static_cast<DWORD>(options.lingerMs));
    const long long endUs = probe::clockMicroseconds();
    transcript.json(JsonLine("exit")
                        .add("clock_us", endUs)
                        .add("code", static_cast<long long>(options.exitCode)));
    transcript.readable("%+8lld ms  exiting with code %d", (endUs - startUs) / 1000,
                        options.exitCode);
    return options.exitCode;
}

} // namespace
} // namespace standin

int main(int argc, char** argv) {
    return standin::run(argc, argv);
}
