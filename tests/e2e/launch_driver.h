// Starts corvane-r.exe the way a portal does: as a Windows parent with its
// own environment block, working directory and captured output, and reads
// the exit status as that parent sees it.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace testing_support {

struct LaunchRequest {
    std::vector<std::pair<std::string, std::string>> variables; // given to the launcher
    std::string arguments;                                      // after the program name
    std::string directory;                                      // its working directory
    DWORD timeoutMs = 30000;
};

struct LaunchOutcome {
    DWORD exitCode = 0;
    DWORD pid = 0;
    long long startUs = 0; // just before CreateProcess
    long long endUs = 0;   // when the launcher's end was seen
    std::string output;    // everything written to its stdout and stderr
    bool timedOut = false;
};

LaunchOutcome runLauncher(const LaunchRequest& request);

// True if the process still runs; it is then stopped.
bool stopIfRunning(DWORD pid);

} // namespace testing_support
