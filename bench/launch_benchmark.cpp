// Prints where a launch spends its time, as medians over repeated launches
// under Wine against the stand-in client, and what the launches left behind.
//   launch_benchmark [RUNS]
#include "bench_common.h"
#include "launch_driver.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace e2e;

namespace {

double ms(long long fromUs, long long toUs) {
    return static_cast<double>(toUs - fromUs) / 1000.0;
}

long long at(const Json& event) {
    return event.value("clock_us", 0LL);
}

struct Series {
    const char* label;
    std::vector<double> values;
};

int countProcessesNamed(const char* name) {
    int count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        count += lstrcmpiA(entry.szExeFile, name) == 0 ? 1 : 0;
    }
    CloseHandle(snapshot);
    return count;
}

bool pipeExists(const std::string& path) {
    HANDLE pipe = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) {
        CloseHandle(pipe);
        return true;
    }
    return GetLastError() != ERROR_FILE_NOT_FOUND;
}

// The cost of starting any process here: the stand-in started directly.
double directStartMs() {
    std::string commandLine = standinCommand("--no-pipe");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const long long before = probe::clockMicroseconds();
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ms(before, at(readTranscript().front()));
}

} // namespace

// A transcript that does not parse ends the benchmark through std::terminate.
// NOLINTNEXTLINE(bugprone-exception-escape)
int main(int argc, char** argv) {
    const int runs = argc > 1 ? static_cast<int>(std::strtol(argv[1], nullptr, 10)) : 7;
    setClientValue(standinCommand("") + std::string(1, '\0'), REG_SZ);
    const Variables& variables = bench::kParameters;

    Series processStart{"process start, stand-in started directly", {}};
    Series launcherToClient{"launcher start to client start", {}};
    Series pollWait{"pipe created to pipe opened (next attempt)", {}};
    Series openPause{"pipe opened to first message (the pause after opening)", {}};
    Series writing{"first to last message (writing the conversation)", {}};
    Series rest{"pipe created to last message, less the mandated waits", {}};
    Series total{"whole launch, start to exit", {}};
    int pipesLeft = 0;

    for (int run = 0; run < runs; ++run) {
        processStart.values.push_back(directStartMs());
        const Launch launched = launch(variables);
        const std::vector<std::string> messages = launched.messages();
        if (launched.exitCode != 0 || messages.size() != 10) {
            std::printf("run %d failed: exit %lu, %zu messages\n", run, launched.exitCode,
                        messages.size());
            return 1;
        }
        std::vector<long long> messageTimes;
        for (const Json& message : launched.all("message")) {
            messageTimes.push_back(at(message));
        }
        const long long created = at(launched.first("pipe_created"));
        const long long connected = at(launched.first("connected"));
        launcherToClient.values.push_back(ms(launched.startUs, at(launched.first("start"))));
        pollWait.values.push_back(ms(created, connected));
        openPause.values.push_back(ms(connected, messageTimes.front()));
        writing.values.push_back(ms(messageTimes.front(), messageTimes.back()));
        rest.values.push_back(ms(connected, messageTimes.back()) - 1000.0);
        total.values.push_back(ms(launched.startUs, launched.endUs));
        pipesLeft += pipeExists(pipePathOf(launched.pid));
    }
    deleteClientKey();

    std::printf("medians over %d launches (ms):\n", runs);
    for (const Series* series :
         {&processStart, &launcherToClient, &pollWait, &openPause, &writing, &rest, &total}) {
        std::printf("  %-58s %9.3f\n", series->label, bench::median(series->values));
    }
    std::printf("left behind: %d of %d launches left their pipe; at the end %d launcher and "
                "%d client processes still ran\n",
                pipesLeft, runs, countProcessesNamed("corvane-r.exe"),
                countProcessesNamed("client-standin.exe"));
    return 0;
}
