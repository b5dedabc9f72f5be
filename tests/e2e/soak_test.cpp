// Twenty launches in a row: each one exact, and nothing left behind.
#include "launch_driver.h"
#include "transcript_reader.h"
#include "windows_support.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace testing_support;

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

TEST(Soak, TwentyLaunchesInARowLeaveNothingBehind) {
    const std::string transcriptPath = makeScratchDirectory("soak") + "\\transcript.jsonl";
    registerStandin(transcriptPath, "");
    LaunchRequest request;
    request.variables = {{"SPICE_HOST", "soak.example"}, {"SPICE_PORT", "5900"}};
    const std::vector<std::string> expected = {"4354524c0100000018000000000000000000000001000000",
                                               "0100000015000000736f616b2e6578616d706c6500",
                                               "020000000c0000000c170000", "1100000008000000",
                                               "1000000008000000"};

    for (int launch = 1; launch <= 20; ++launch) {
        const LaunchOutcome outcome = runLauncher(request);
        ASSERT_FALSE(outcome.timedOut) << "launch " << launch;
        ASSERT_EQ(outcome.exitCode, 0u) << "launch " << launch;
        ASSERT_EQ(readTranscript(transcriptPath).messageBytes(), expected) << "launch " << launch;
        EXPECT_FALSE(pipeExists(pipePathFor(outcome.pid))) << "launch " << launch;
    }
    deleteClientKey();
    EXPECT_EQ(countProcessesNamed("corvane-r.exe"), 0);
    EXPECT_EQ(countProcessesNamed("client-standin.exe"), 0);
}

} // namespace
