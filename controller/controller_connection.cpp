#include "controller_connection.h"

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
