// The launcher's whole run: find the client through the registry, advertise
// the controller pipe in the environment the client inherits, start the
// client, hand it the connection parameters over that pipe, and wait for it.
#pragma once

#include "controller_connection.h"

#include <cstddef>

namespace launcher {

// The registry may fill this many bytes of the client command line.
constexpr unsigned long kCommandLineSize = 1024;
constexpr std::size_t kPipePathSize = 2048;

constexpr char kPipeVariable[] = "SPICE_XPI_NAMEDPIPE";

// Whether the controller pipe must be served by the client or a process it
// started (CMake option CORVANE_CHECK_PIPE_SERVER). Off only for a client
// whose registered program hands the pipe to a viewer it does not start.
constexpr bool kCheckPipeServer = CORVANE_CHECK_PIPE_SERVER;

// "\\.\pipe\SpiceController-" and the process id in decimal, NUL-terminated:
// the pipe the client is told to serve.
void formatPipePath(char (&path)[kPipePathSize], unsigned long processId);

// 0 once the client has run and exited; -1 at the first failure, with the
// client, if it was started, left running. The connection is left as the
// run leaves it; closing it is the caller's job.
int runLaunch(controller::ControllerConnection& connection);

} // namespace launcher
