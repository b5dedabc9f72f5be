// Controller messages spelt out for expectations, byte by byte, apart from
// the encoder under test.
#pragma once

#include <cstdint>
#include <string>

namespace wire {

inline std::string le32(std::uint32_t value) {
    return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
            static_cast<char>(value >> 24)};
}

inline std::string text(std::uint32_t id, const std::string& value) {
    return le32(id) + le32(static_cast<std::uint32_t>(value.size() + 9)) + value + '\0';
}

inline std::string number(std::uint32_t id, std::uint32_t value) {
    return le32(id) + le32(12) + le32(value);
}

const std::string kInit("CTRL\1\0\0\0\x18\0\0\0\0\0\0\0\0\0\0\0\1\0\0\0", 24);
const std::string kShow("\x11\0\0\0\x08\0\0\0", 8);
const std::string kConnect("\x10\0\0\0\x08\0\0\0", 8);

} // namespace wire
