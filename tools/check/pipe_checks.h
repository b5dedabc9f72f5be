// What a launch does up to the open, with the launcher's own code: the
// client started with the launcher's environment, its controller pipe
// opened in the same ten attempts a second apart, and the same check of
// who serves it. Nothing is sent on the pipe.
#pragma once

#include "report.h"

namespace check {

// The client is ended afterwards, with the process serving its pipe when
// the client started that, unless `keepClient`.
void checkPipe(Report& report, char* commandLine, bool keepClient);

} // namespace check
