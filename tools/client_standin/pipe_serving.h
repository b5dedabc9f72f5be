// The client's side of the controller pipe: create it under the advertised
// path, wait for the launcher to open it, and read the conversation one
// message at a time, recording each in the transcript.
#pragma once

#include "transcript.h"

#include <windows.h>

namespace standin {

struct ServeOptions {
    long pipeDelayMs = 0; // before the pipe is created
    long closeAfter = -1; // messages to read before closing our end; -1: never
};

void servePipe(const char* pipePath, const ServeOptions& options, long long startUs,
               Transcript& transcript);

} // namespace standin
