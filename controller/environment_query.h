// The platform's view of the launcher's own environment, reduced to the one
// call the conversation needs, with GetEnvironmentVariableA's contract:
// 0 for a variable that is unset or empty; for a value that fits, its length
// with the value NUL-terminated in the buffer; for one that does not fit, the
// size it would need (its length plus one), with the buffer's contents
// undefined.
#pragma once

#include <cstdint>

namespace controller {

std::uint32_t queryEnvironment(const char* name, char* buffer, std::uint32_t size);

} // namespace controller
