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

// The stand-in client's command line, writing its transcript to the path.
std::string standinCommand(const std::string& transcriptPath, const std::string& options);
// Registers that command line as the client's, a REG_SZ with its NUL.
void registerStandin(const std::string& transcriptPath, const std::string& options);

// The controller pipe a launcher with this process id advertises.
std::string pipePathFor(DWORD pid);

// True if the process still runs; it is then stopped.
bool stopIfRunning(DWORD pid);

} // namespace testing_support
