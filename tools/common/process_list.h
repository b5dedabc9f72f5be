// A process as the system's process list shows it: who started it and what
// it runs. The stand-in records its parent; the check tool names the process
// serving a pipe.
#pragma once

#include <windows.h>

#include <string>

namespace tools {

struct ProcessEntry {
    DWORD parentId = 0; // 0 when the process is not in the list (it has ended)
    std::string name;   // the program's file name, without its folder
};

ProcessEntry findProcess(DWORD processId);

} // namespace tools
