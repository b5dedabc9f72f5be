#include "process_list.h"

#include <tlhelp32.h>

namespace tools {

ProcessEntry findProcess(DWORD processId) {
    ProcessEntry found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return found;
    }
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == processId) {
            found.parentId = entry.th32ParentProcessID;
            found.name = entry.szExeFile;
            break;
        }
    }
    CloseHandle(snapshot);
    return found;
}

} // namespace tools
