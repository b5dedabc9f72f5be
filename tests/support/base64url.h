// RFC 4648 section 5 without padding, as portals write links; apart from the
// handler's decoder, which it checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace wire {

inline std::string base64url(const std::string& bytes) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string encoded;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            group = group << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        }
        for (std::size_t k = 0; k <= n; ++k) {
            encoded += kAlphabet[(group >> (18 - 6 * k)) & 0x3F];
        }
    }
    return encoded;
}

} // namespace wire
