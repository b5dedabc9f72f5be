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
        return static_cast<std::uint32_t>(length + 1);
    }
    std::memcpy(buffer, value, length + 1);
    return static_cast<std::uint32_t>(length);
}

} // namespace controller
