// Starts corvane-r.exe the way a portal does, as a Windows parent with its
// own environment block and working directory, and reads back what came of
// it: the exit status as that parent sees it, anything the launcher printed,
// and the stand-in client's transcript.
#pragma once

#include "windows_probe.h"

#include <nlohmann/json.hpp>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace e2e {

using Json = nlohmann::json;
using Variables = std::vector<std::pair<std::string, std::string>>;

struct Launch {
    DWORD exitCode = 0;
    DWORD pid = 0;
    long long startUs = 0; // just before CreateProcess, on probe::clockMicroseconds
    long long endUs = 0;   // when the launcher's end was seen
    std::string output;    // everything it wrote to its stdout and stderr
    // Whether a handle that the launcher inherited from us was still open
    // somewhere once the launcher had ended: the client would hold it if
    // the launcher had passed its handles on.
    bool handleOutlivedLauncher = false;
    std::vector<Json> transcript; // the stand-in's events; none if no client ran

    std::vector<Json> all(const char* event) const;
    // The first event of that name, or an empty object.
    Json first(const char* event) const;
    // Each message's bytes in order; a malformed one reads "invalid: why".
    std::vector<std::string> messages() const;
    // A variable as the client received it, or "<unset>".
    std::string environment(const char* name) const;
};

// The executables under test are this build's, unless the environment names
// others (another compiler's build of the same sources).
std::string launcherUnderTest();

// The stand-in's command line, writing this test process's transcript.
std::string standinCommand(const std::string& options);
// The client's registry value, stored as given; deleteClientKey removes it.
void setClientValue(const std::string& data, DWORD type);
void deleteClientKey();

// The stand-in's transcript as it stands, one event a line.
std::vector<Json> readTranscript();

Launch launch(const Variables& variables = {}, const std::string& arguments = "",
              const std::string& directory = "");

// True if the process still ran; it is then stopped.
bool stopIfRunning(DWORD pid);

} // namespace e2e
