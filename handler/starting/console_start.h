// Opens the console for an accepted connection: the launcher from the
// handler's own folder, with an environment that holds the file's
// parameters and no other SPICE_ variable, in the user's profile folder.
#pragma once

#include "connection_file.h"

#include <string>

namespace handler {

enum class Opened {
    Ran,               // the launcher ran; `status` is its exit status
    CaNotWritten,      // the inline certificate authority could not be stored
    LauncherNotStarted // corvane-r.exe could not be started
};

struct ConsoleRun {
    Opened opened = Opened::Ran;
    int status = 0;
    unsigned long error = 0;   // Windows' error code, where it failed
    std::wstring launcherPath; // what it started, or tried to
};

// Where corvane-r-open.exe is, with a trailing backslash: the launcher and
// the tools are installed beside it.
std::wstring programFolder();

// Waits for the launcher to exit. An inline `ca` lives in a file of the
// user's temp folder that only the user can open, for as long as the
// launcher runs.
ConsoleRun openConsole(const Connection& connection);

} // namespace handler
