// The launcher reads its environment straight from the process block, not
// through the C runtime's copy, so it sees what its parent gave it.
#include "environment_query.h"

#include <windows.h>

namespace controller {

std::uint32_t queryEnvironment(const char* name, char* buffer, std::uint32_t size) {
    return GetEnvironmentVariableA(name, buffer, size);
}

} // namespace controller
