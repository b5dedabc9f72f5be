// The launcher's end of the client's controller pipe. The client creates the
// pipe under the path the launcher advertised; this side polls for it while
// the client starts, is the conversation's message sink once it is open, and
// at the end closes its handle and asks for the path's removal.
#pragma once

#include "pipe_server_check.h"

#include <windows.h>

#include <cstdint>

namespace controller {

// Attempts to open the pipe, with a pause after every one of them. The pause
// also follows the attempt that succeeds: the client may still be setting up
// its side, and it relies on that second before the first message.
constexpr int kOpenAttempts = 10;
constexpr DWORD kOpenPauseMs = 1000;

// What `open` shows each attempt to: its number, from 1, and the handle it
// got (INVALID_HANDLE_VALUE while there is no pipe to open), before the
// server is checked. The launcher looks at none of them; the check tool
// reports them.
struct IgnoreAttempts {
    void operator()(int /*attempt*/, HANDLE /*pipe*/) const {}
};

class ControllerConnection {
public:
    ControllerConnection() = default;
    ~ControllerConnection() { close(); }

    ControllerConnection(const ControllerConnection&) = delete;
    ControllerConnection& operator=(const ControllerConnection&) = delete;

    // Keeps its own copy of the path.
    void setPath(const char* path);
    // From then on a pipe is kept open only when this process, or one it
    // started, serves it (see pipe_server_check.h); 0 keeps any pipe.
    void setClientProcess(DWORD processId) { clientId_ = processId; }
    // The path, or "" when there is none.
    const char* path() const { return path_ != nullptr ? path_ : ""; }
    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

    // 0 once the pipe is open, -1 after every attempt has failed. A pipe
    // served by anyone but the client counts as a failed attempt: closed at
    // once, before anything is written.
    template <typename OnAttempt = IgnoreAttempts> int open(OnAttempt onAttempt = {});

    // The message sink. A failed or short write is neither retried nor
    // reported: the conversation goes on regardless.
    void write(const std::uint8_t* block, std::uint32_t length);

    // Releases the handle and asks for the path's removal; safe to repeat.
    void close();

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    char* path_ = nullptr; // owned; nullptr when empty
    DWORD clientId_ = 0;
};

template <typename OnAttempt> int ControllerConnection::open(OnAttempt onAttempt) {
    bool opened = false;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (path_ != nullptr) {
            // The pipe's name carries our process id and is easy to guess, so
            // another local process could create it first. The quality-of-
            // service flags limit such a server to identifying us: it cannot
            // act as our user. The client has no need to impersonate us.
            // Who serves it is checked before anything is written.
            handle_ =
                CreateFileA(path_, GENERIC_READ | GENERIC_WRITE,
                            0,             // no sharing
                            nullptr,       // default security
                            OPEN_EXISTING, // the client creates the pipe
                            FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                            nullptr); // no template
            onAttempt(attempt + 1, handle_);
            opened = handle_ != INVALID_HANDLE_VALUE;
            if (opened && clientId_ != 0 && !isServedByClient(handle_, clientId_)) {
                CloseHandle(handle_); // not a byte for a squatter
                handle_ = INVALID_HANDLE_VALUE;
                opened = false;
            }
        }
        // A missing pipe, a busy one and any other refusal are retried alike.
        Sleep(kOpenPauseMs);
        if (opened) {
            break;
        }
    }
    return opened ? 0 : -1;
}

} // namespace controller
