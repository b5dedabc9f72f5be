#include "pipe_server_check.h"

#include <tlhelp32.h>

namespace controller {

namespace {

// Vista and later, like the check itself; XP's headers lack it.
constexpr DWORD kQueryLimitedInformation = 0x1000; // PROCESS_QUERY_LIMITED_INFORMATION

// A client that wraps the viewer in a launcher script or two is expected;
// a deeper chain is not.
constexpr int kMaxGenerations = 16;

using GetServerProcessId = BOOL(WINAPI*)(HANDLE pipe, PULONG processId);

bool creationTime(DWORD processId, ULONGLONG& time) {
    HANDLE process = OpenProcess(kQueryLimitedInformation, FALSE, processId);
    if (process == nullptr) {
        return false;
    }
    FILETIME created = {};
    FILETIME exited = {};
    FILETIME kernel = {};
    FILETIME user = {};
    const BOOL known = GetProcessTimes(process, &created, &exited, &kernel, &user);
    CloseHandle(process);
    time = static_cast<ULONGLONG>(created.dwHighDateTime) << 32 | created.dwLowDateTime;
    return known != FALSE;
}

DWORD parentOf(HANDLE snapshot, DWORD processId) {
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == processId) {
            return entry.th32ParentProcessID;
        }
    }
    return 0;
}

} // namespace

PipeServer classifyPipeServer(HANDLE pipe, DWORD clientId, DWORD& serverId) {
    // Looked up at run time so that the image still loads on XP.
    const auto serverProcessId = reinterpret_cast<GetServerProcessId>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetNamedPipeServerProcessId")));
    if (serverProcessId == nullptr) {
        return PipeServer::Unasked;
    }
    ULONG answer = 0;
    if (!serverProcessId(pipe, &answer)) {
        return PipeServer::Unknown;
    }
    serverId = answer;
    if (serverId == clientId) {
        return PipeServer::Client; // the usual case, answered without reading the process list
    }
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return PipeServer::Unknown;
    }
    DWORD id = serverId;
    ULONGLONG created = 0;
    bool traced = creationTime(id, created);
    for (int generation = 0; traced && id != clientId && generation < kMaxGenerations;
         ++generation) {
        const DWORD parent = parentOf(snapshot, id);
        ULONGLONG parentCreated = 0;
        traced = parent != 0 && creationTime(parent, parentCreated) && parentCreated <= created;
        id = parent;
        created = parentCreated;
    }
    CloseHandle(snapshot);
    return traced && id == clientId ? PipeServer::Descendant : PipeServer::Other;
}

} // namespace controller
