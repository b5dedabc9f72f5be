#include "controller_connection.h"

#include "pipe_server_check.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace controller {

void ControllerConnection::setPath(const char* path) {
    std::free(path_);
    path_ = nullptr;
    const std::size_t size = std::strlen(path) + 1;
    if (size > 1) {
        path_ = static_cast<char*>(std::malloc(size));
        if (path_ != nullptr) {
            std::memcpy(path_, path, size);
        }
    }
}

int ControllerConnection::open() {
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

void ControllerConnection::write(const std::uint8_t* block, std::uint32_t length) {
    DWORD written = 0;
    WriteFile(handle_, block, length, &written, nullptr);
}

void ControllerConnection::close() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    if (path_ != nullptr) {
        (void)std::remove(path_); // gone already, or the client's to remove
        std::free(path_);
        path_ = nullptr;
    }
}

} // namespace controller
