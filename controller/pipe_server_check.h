// Who serves the controller pipe. Its name carries the launcher's process id
// and is easy to guess, so any local process could create it before the
// client does and be sent the connection parameters, password included.
// The launcher keeps a pipe only when the process serving it is the client
// it started, or a process that the client started.
#pragma once

#include <windows.h>

namespace controller {

// Who serves `pipe`, an open client end, as seen from process `clientId`.
// A descendant is followed up through parent ids, each parent created no
// later than its child: a newer process that took a dead parent's id is not
// mistaken for it.
enum class PipeServer {
    Client,
    Descendant, // started by the client, or by one it started, and so on
    Other,
    Unknown, // Windows could say, but did not: refused all the same
    Unasked, // Windows XP cannot say (GetNamedPipeServerProcessId comes with Vista)
};

// `serverId` receives the server's process id where Windows gives it.
PipeServer classifyPipeServer(HANDLE pipe, DWORD clientId, DWORD& serverId);

// Whether the launcher sends to the pipe. On XP every pipe is accepted, as
// before the check existed; where the question can be asked but not
// answered, the pipe is refused.
inline bool isServedByClient(HANDLE pipe, DWORD clientId) {
    DWORD serverId = 0;
    const PipeServer server = classifyPipeServer(pipe, clientId, serverId);
    return server == PipeServer::Client || server == PipeServer::Descendant ||
           server == PipeServer::Unasked;
}

} // namespace controller
