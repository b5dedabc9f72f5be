// What a launch finds before it starts anything: the client's command line
// in the registry, read by the launcher's own code, and the program Windows
// will run for it.
#pragma once

#include "launch_sequence.h"
#include "report.h"

namespace check {

// 0 with the command line as the launcher would use it, -1 when a launch
// would stop here; the report says which.
int checkRegistry(Report& report, char (&commandLine)[launcher::kCommandLineSize + 1]);

// The program of `commandLine` as CreateProcessA without an application
// name picks it: a quoted path, or else the first of the ever longer
// space-separated prefixes that names an existing file; and that it is a
// Windows program. False when no such file exists.
bool checkProgram(Report& report, const char* commandLine);

// What keeps a launch from starting the client, as its user can act on it.
enum class Blocker { None, NotInstalled, ProgramMissing, Other };

// checkRegistry, then checkProgram where the registry allows it.
Blocker diagnoseLaunch(Report& report);

} // namespace check
