#include "launch_sequence.h"

#include "client_registry.h"
#include "controller_conversation.h"

#include <windows.h>

#include <cstring>

namespace launcher {

// Formatted by hand: the C library's formatted output would add more to the executable
// than all of the launcher's own code, for this one number.
void formatPipePath(char (&path)[kPipePathSize], unsigned long processId) {
    static const char prefix[] = "\\\\.\\pipe\\SpiceController-";
    std::memcpy(path, prefix, sizeof prefix - 1);
    char digits[16];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + processId % 10);
        processId /= 10;
    } while (processId != 0);
    char* at = path + sizeof prefix - 1;
    while (count > 0) {
        *at++ = digits[--count];
    }
    *at = '\0';
}

// The buffer has one byte more than the registry may fill, so that a value
// stored without its NUL, even one of the full size, still ends right after
// the bytes the registry delivered.
int readClientCommandLine(char (&commandLine)[kCommandLineSize + 1], REGSAM view,
                          ClientValue* found) {
    ClientValue unused;
    ClientValue& value = found != nullptr ? *found : unused;
    HKEY key = nullptr;
    value.keyError = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClientKeyPath, 0,
                                   KEY_QUERY_VALUE | (view != 0 ? view : kClientView), &key);
    if (value.keyError != ERROR_SUCCESS) {
        return -1;
    }
    value.size = kCommandLineSize;
    value.valueError = RegQueryValueExA(key, kClientValueName,
                                        nullptr, // reserved
                                        // the launcher does not examine the stored type
                                        found != nullptr ? &value.type : nullptr,
                                        reinterpret_cast<BYTE*>(commandLine), &value.size);
    RegCloseKey(key);
    if (value.valueError != ERROR_SUCCESS) {
        return -1;
    }
    commandLine[value.size] = '\0';
    return 0;
}

int startClient(controller::ControllerConnection& connection, char* commandLine,
                PROCESS_INFORMATION& process) {
    // The client serves its controller pipe under the name we give it; our
    // process id keeps concurrent launches apart.
    char pipePath[kPipePathSize];
    formatPipePath(pipePath, GetCurrentProcessId());
    pipePath[sizeof pipePath - 1] = '\0';
    connection.setPath(pipePath);

    if (!SetEnvironmentVariableA(kPipeVariable, pipePath)) {
        return -1;
    }
    // The client's own logging, for whoever troubleshoots it; a parent's
    // values are overwritten on purpose.
    SetEnvironmentVariableA("SPICE_DEBUG", "1");
    SetEnvironmentVariableA("G_MESSAGES_DEBUG", "all");

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr,     // the program is the command line's first word
                        commandLine, // as stored; CreateProcessA may write to it
                        nullptr,     // default process security
                        nullptr,     // default thread security
                        FALSE,       // no handle inheritance
                        0,           // no creation flags
                        nullptr,     // inherit our environment as it now stands
                        nullptr,     // start in our current directory
                        &startup, &process)) {
        return -1;
    }
    if (kCheckPipeServer) {
        connection.setClientProcess(process.dwProcessId);
    }
    return 0;
}

int runLaunch(controller::ControllerConnection& connection) {
    char commandLine[kCommandLineSize + 1] = {};
    if (readClientCommandLine(commandLine) != 0) {
        return -1;
    }
    PROCESS_INFORMATION process = {};
    if (startClient(connection, commandLine, process) != 0) {
        return -1;
    }
    // On failure the client keeps running on its own; it is not ours to stop.
    if (connection.open() != 0) {
        return -1;
    }
    controller::forwardParameters(connection);

    // The client's exit code is its own business; its end is ours.
    WaitForSingleObject(process.hProcess, INFINITE);
    return 0;
}

} // namespace launcher
