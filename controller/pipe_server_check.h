// Who serves the controller pipe. Its name carries the launcher's process id
// and is easy to guess, so any local process could create it before the
// client does and be sent the connection parameters, password included.
// The launcher keeps a pipe only when the process serving it is the client
// it started, or a process that the client started.
#pragma once

#include <windows.h>

namespace controller {

// True when `pipe`, an open client end, is served by process `clientId` or
// by one of its descendants. A descendant is followed up through parent ids,
// each parent created no later than its child: a newer process that took a
// dead parent's id is not mistaken for it.
//
// Windows XP cannot say who serves a pipe (GetNamedPipeServerProcessId
// comes with Vista): there every pipe is accepted, as before the check
// existed. Where the question can be asked but not answered, the pipe is
// refused.
bool isServedByClient(HANDLE pipe, DWORD clientId);

} // namespace controller
