// Prints where a launch spends its time, as medians over repeated launches
// under Wine against the stand-in client, and the size of the executable.
//   launch_benchmark [RUNS]
#include "launch_driver.h"
#include "transcript_reader.h"
#include "windows_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double ms(long long fromUs, long long toUs) {
    return static_cast<double>(toUs - fromUs) / 1000.0;
}

struct Series {
    const char* label;
    std::vector<double> values;
};

long long fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        return -1;
    }
    return static_cast<long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

// The cost of starting any process here: the stand-in started directly.
double directStartMs(const std::string& transcript) {
    std::string commandLine = standinCommand(transcript, "--no-pipe");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const long long before = clockMicroseconds();
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ms(before, readTranscript(transcript).first("start").number("clock_us"));
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? static_cast<int>(std::strtol(argv[1], nullptr, 10)) : 7;
    const std::string scratch = makeScratchDirectory("bench");
    const std::string transcript = scratch + "\\transcript.jsonl";
    registerStandin(transcript, "");

    LaunchRequest request;
    request.variables = {{"SPICE_HOST", "vm7.example"},   {"SPICE_PORT", "5900"},
                         {"SPICE_SPORT", "5901"},         {"SPICE_PASSWORD", "secret"},
                         {"SPICE_TITLE", "Console"},      {"SPICE_CA_FILE", "C:\\ca.pem"},
                         {"SPICE_HOST_SUBJECT", "CN=vm7"}};

    Series processStart{"process start, stand-in started directly", {}};
    Series launcherToClient{"launcher start to client start", {}};
    Series pollWait{"pipe created to pipe opened (next attempt)", {}};
    Series openPause{"pipe opened to first message (the pause after opening)", {}};
    Series writing{"first to last message (writing the conversation)", {}};
    Series pipeToLast{"pipe created to last message, in all", {}};
    Series rest{"  of which not a mandated wait", {}};
    Series total{"whole launch, start to exit", {}};

    for (int run = 0; run < runs; ++run) {
        processStart.values.push_back(directStartMs(scratch + "\\direct.jsonl"));
        const LaunchOutcome outcome = runLauncher(request);
        const Transcript read = readTranscript(transcript);
        const std::vector<TranscriptEvent> messages = read.all("message");
        if (outcome.exitCode != 0 || messages.size() != 10) {
            std::printf("run %d failed: exit %lu, %zu messages\n", run, outcome.exitCode,
                        messages.size());
            return 1;
        }
        const long long created = read.first("pipe_created").number("clock_us");
        const long long connected = read.first("connected").number("clock_us");
        const long long first = messages.front().number("clock_us");
        const long long last = messages.back().number("clock_us");
        launcherToClient.values.push_back(
            ms(outcome.startUs, read.first("start").number("clock_us")));
        pollWait.values.push_back(ms(created, connected));
        openPause.values.push_back(ms(connected, first));
        writing.values.push_back(ms(first, last));
        pipeToLast.values.push_back(ms(created, last));
        rest.values.push_back(ms(created, last) - ms(created, connected) - 1000.0);
        total.values.push_back(ms(outcome.startUs, outcome.endUs));
    }
    deleteClientKey();

    std::printf("corvane-r.exe: %lld bytes\n", fileSize(launcherUnderTest()));
    std::printf("medians over %d launches (ms):\n", runs);
    for (const Series* series : {&processStart, &launcherToClient, &pollWait, &openPause, &writing,
                                 &pipeToLast, &rest, &total}) {
        std::printf("  %-58s %9.3f\n", series->label, median(series->values));
    }
    return 0;
}
