// Fuzzes the platform-neutral core against independent references:
// - the port parser against the C library's strtol (64-bit long), clamped;
// - sendData and sendValue, decoded back to what they were given.
#include "controller_conversation.h"
#include "controller_messages.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

static_assert(sizeof(long) == 8, "the reference parse needs a 64-bit long");

struct CapturingSink {
    std::vector<std::vector<std::uint8_t>> blocks;
    void write(const std::uint8_t* block, std::uint32_t length) {
        blocks.emplace_back(block, block + length);
    }
};

std::uint32_t readU32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void checkParser(const std::string& text) {
    const long reference = std::strtol(text.c_str(), nullptr, 10);
    const long clamped = reference > INT32_MAX   ? INT32_MAX
                         : reference < INT32_MIN ? INT32_MIN
                                                 : reference;
    check(controller::parseDecimal(text.c_str()) == clamped);
}

void checkData(std::uint32_t id, const std::string& text) {
    CapturingSink sink;
    controller::sendData(sink, id, text.c_str());
    const std::size_t length = std::strlen(text.c_str());
    if (length == 0) {
        check(sink.blocks.empty());
        return;
    }
    check(sink.blocks.size() == 1);
    const std::vector<std::uint8_t>& block = sink.blocks[0];
    check(block.size() == length + 9);
    check(readU32(block.data()) == id);
    check(readU32(block.data() + 4) == block.size());
    check(std::memcmp(block.data() + 8, text.data(), length) == 0);
    check(block.back() == 0);
}

void checkValue(std::uint32_t id, std::int32_t value) {
    CapturingSink sink;
    controller::sendValue(sink, id, value);
    check(sink.blocks.size() == 1 && sink.blocks[0].size() == 12);
    check(readU32(sink.blocks[0].data()) == id);
    check(readU32(sink.blocks[0].data() + 4) == 12);
    check(static_cast<std::int32_t>(readU32(sink.blocks[0].data() + 8)) == value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint8_t head[8] = {};
    std::memcpy(head, data, size < sizeof head ? size : sizeof head);
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkParser(text);
    checkData(readU32(head), text);
    checkValue(readU32(head), static_cast<std::int32_t>(readU32(head + 4)));
    return 0;
}
