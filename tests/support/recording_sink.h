// A message sink that keeps every block apart, so tests see how many writes
// were made and where each message begins and ends, not only the bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace testing_support {

using Bytes = std::vector<std::uint8_t>;

struct RecordingSink {
    std::vector<Bytes> blocks;

    void write(const std::uint8_t* block, std::uint32_t length) {
        blocks.emplace_back(block, block + length);
    }

    Bytes concatenated() const {
        Bytes all;
        for (const Bytes& block : blocks) {
            all.insert(all.end(), block.begin(), block.end());
        }
        return all;
    }
};

// Bytes from a compact hex spelling, spaces allowed: "43 54 52 4C".
inline Bytes hex(const char* text) {
    Bytes bytes;
    int high = -1;
    for (; *text != '\0'; ++text) {
        const char c = *text;
        int nibble = -1;
        if (c >= '0' && c <= '9') {
            nibble = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            nibble = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            nibble = c - 'A' + 10;
        }
        if (nibble < 0) {
            continue;
        }
        if (high < 0) {
            high = nibble;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | nibble));
            high = -1;
        }
    }
    return bytes;
}

} // namespace testing_support
