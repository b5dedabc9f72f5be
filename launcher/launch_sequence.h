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

// The registry view the client's 32-bit installer writes and the launcher
// reads. The shipped 32-bit launcher is there by default and asks for no view
// (a standard user's open of the HKLM key asks for nothing more than reading
// a value); the 64-bit build, which runs the tests where Wine cannot start
// 32-bit programs, asks for the same view.
constexpr REGSAM kClientView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : 0;

// What the registry answered about the client's command line. The launcher
// only asks whether the value was read; the check tool tells an admin why not.
struct ClientValue {
    LONG keyError = ERROR_SUCCESS;   // opening the key
    LONG valueError = ERROR_SUCCESS; // reading the value; ERROR_MORE_DATA: too long
    DWORD type = REG_NONE;
    DWORD size = 0; // the value's length in bytes, also when it is too long
};

// Reads the client's command line, NUL-terminated right after the bytes the
// registry delivered: 0, or -1 when the key or the value cannot be read or
// the value is longer than kCommandLineSize. View 0 is the launcher's own
// (kClientView), the 32-bit one on 64-bit Windows; `found`, when given, receives the answer.
int readClientCommandLine(char (&commandLine)[kCommandLineSize + 1], REGSAM view = 0,
                          ClientValue* found = nullptr);

// Names this process's controller pipe in the environment the client
// inherits and as the connection's path, then starts the client as the
// command line says and tells the connection which process it is: 0, or -1
// when the variable cannot be set or the client cannot be started.
int startClient(controller::ControllerConnection& connection, char* commandLine,
                PROCESS_INFORMATION& process);

// 0 once the client has run and exited; -1 at the first failure, with the
// client, if it was started, left running. The connection is left as the
// run leaves it; closing it is the caller's job.
int runLaunch(controller::ControllerConnection& connection);

} // namespace launcher
