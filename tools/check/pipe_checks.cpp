#include "pipe_checks.h"

#include "launch_sequence.h"
#include "process_list.h"
#include "windows_probe.h"

#include <string>

namespace check {

namespace {

// The attempt that found a pipe, and who served it.
struct Served {
    int attempt = 0; // 0: no attempt found one
    long long afterMs = 0;
    controller::PipeServer server = controller::PipeServer::Unknown;
    DWORD serverId = 0;
    std::string name; // read while the server still holds the pipe open
};

const char* relationName(controller::PipeServer server) {
    switch (server) {
    case controller::PipeServer::Client:
        return "the client itself";
    case controller::PipeServer::Descendant:
        return "a process the client started";
    case controller::PipeServer::Other:
        return "another process, not started by the client";
    case controller::PipeServer::Unknown:
        return "a process Windows would not name";
    case controller::PipeServer::Unasked:
        return "a process this Windows cannot name";
    }
    return "?";
}

void endProcess(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, processId);
    if (process != nullptr) {
        TerminateProcess(process, 1);
        CloseHandle(process);
    }
}

} // namespace

void checkPipe(Report& report, char* commandLine, bool keepClient) {
    controller::ControllerConnection connection;
    PROCESS_INFORMATION client = {};
    const long long startUs = probe::clockMicroseconds();
    if (launcher::startClient(connection, commandLine, client) != 0) {
        report.add(Level::Fail, "start",
                   "the client could not be started: error " + std::to_string(GetLastError()),
                   "Check the program and its arguments in the registry value");
        return;
    }
    Served first;
    Served last;
    const int opened = connection.open([&](int attempt, HANDLE pipe) {
        if (pipe == INVALID_HANDLE_VALUE) {
            return;
        }
        last.attempt = attempt;
        last.afterMs = (probe::clockMicroseconds() - startUs) / 1000;
        last.server = controller::classifyPipeServer(pipe, client.dwProcessId, last.serverId);
        last.name = tools::findProcess(last.serverId).name;
        first = first.attempt == 0 ? last : first;
    });
    const std::string path = connection.path();
    connection.close();

    if (first.attempt == 0) {
        report.add(Level::Fail, "pipe",
                   path + " did not appear in " + std::to_string(controller::kOpenAttempts) +
                       " attempts a second apart",
                   "The registered program does not serve the controller pipe named in "
                   "SPICE_XPI_NAMEDPIPE: check that it is the client's program, and its version");
    } else {
        report
            .add(Level::Ok, "pipe",
                 path + " appeared at attempt " + std::to_string(first.attempt) + ", " +
                     std::to_string(first.afterMs) + " ms after the client started")
            .add("attempt", static_cast<long long>(first.attempt))
            .add("after_ms", first.afterMs);
        const std::string server = last.server == controller::PipeServer::Unasked
                                       ? relationName(last.server)
                                       : "process " + std::to_string(last.serverId) + " (" +
                                             tools::findProcess(last.serverId).name + "), " +
                                             relationName(last.server);
        if (opened == 0) {
            report
                .add(last.server == controller::PipeServer::Unasked ? Level::Warn : Level::Ok,
                     "server", "served by " + server + ": the launcher would send to it")
                .add("server_pid", static_cast<long long>(last.serverId));
        } else {
            report
                .add(Level::Fail, "server",
                     "served by " + server + ": the launcher refuses to send to it",
                     "If the registered program hands over to a viewer it does not start, "
                     "build the launcher with CORVANE_CHECK_PIPE_SERVER=OFF; otherwise find "
                     "out why that process serves the launcher's pipe")
                .add("server_pid", static_cast<long long>(last.serverId));
        }
    }

    if (!keepClient) {
        if (last.server == controller::PipeServer::Descendant) {
            endProcess(last.serverId);
        }
        TerminateProcess(client.hProcess, 1);
    }
    CloseHandle(client.hThread);
    CloseHandle(client.hProcess);
}

} // namespace check
