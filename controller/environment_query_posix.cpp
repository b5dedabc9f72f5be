// Native builds exist to run the platform-neutral core under sanitizers and
// the fuzzer; this stand-in keeps the Windows call's contract on getenv.
#include "environment_query.h"

#include <cstdlib>
#include <cstring>

namespace controller {

std::uint32_t queryEnvironment(const char* name, char* buffer, std::uint32_t size) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return 0;
    }
    const std::size_t length = std::strlen(value);
    if (length >= size) {
        // The buffer's contents are undefined then. They are filled with
        // the value's first bytes, the most plausible-looking garbage, so
        // that a caller who used them anyway would send a cut value that
        // the tests see, rather than whatever the stack held.
        if (size > 0) {
            std::memcpy(buffer, value, size - 1);
            buffer[size - 1] = '\0';
        }
        return static_cast<std::uint32_t>(length + 1);
    }
    std::memcpy(buffer, value, length + 1);
    return static_cast<std::uint32_t>(length);
}

} // namespace controller
