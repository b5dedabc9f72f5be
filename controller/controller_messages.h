// The records that the launcher writes on the client's controller pipe, and
// the four operations that build one record each and hand it to a message
// sink as a single block.
//
// A message sink is any object with `write(const std::uint8_t* block,
// std::uint32_t length)`. It is a template parameter so that the launcher's
// pipe connection and a test's in-memory recorder take the same path without
// a virtual call.
//
// Every integer goes on the wire little-endian and records have no padding,
// so the bytes are laid out by hand rather than through a struct whose layout
// would depend on the compiler and the host.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace controller {

// Message identifiers of the controller protocol that the launcher sends.
enum MessageId : std::uint32_t {
    CONTROLLER_HOST = 1,
    CONTROLLER_PORT = 2,
    CONTROLLER_SPORT = 3,
    CONTROLLER_PASSWORD = 4,
    CONTROLLER_CA_FILE = 8,
    CONTROLLER_HOST_SUBJECT = 9,
    CONTROLLER_SET_TITLE = 11,
    CONTROLLER_CONNECT = 16,
    CONTROLLER_SHOW = 17,
};

// "CTRL" on the wire when stored little-endian.
constexpr std::uint32_t kControllerMagic = 0x4C525443;
constexpr std::uint32_t kControllerVersion = 1;
constexpr std::uint32_t CONTROLLER_FLAG_EXCLUSIVE = 1u << 0;

constexpr std::uint32_t kInitSize = 24;    // ControllerInit
constexpr std::uint32_t kHeaderSize = 8;   // ControllerMsg
constexpr std::uint32_t kValueSize = 12;   // ControllerValue
constexpr std::uint32_t kDataOverhead = 9; // ControllerData: header and terminator

inline void putU32(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
    at[2] = static_cast<std::uint8_t>(value >> 16);
    at[3] = static_cast<std::uint8_t>(value >> 24);
}

inline void putU64(std::uint8_t* at, std::uint64_t value) {
    putU32(at, static_cast<std::uint32_t>(value));
    putU32(at + 4, static_cast<std::uint32_t>(value >> 32));
}

inline void putHeader(std::uint8_t* at, std::uint32_t id, std::uint32_t size) {
    putU32(at, id);
    putU32(at + 4, size);
}

// The opening record: magic, version, its own size, no credentials, and the
// exclusive flag so that the client accepts no second controller.
template <typename Sink> void sendInit(Sink& sink) {
    std::uint8_t block[kInitSize];
    putU32(block, kControllerMagic);
    putU32(block + 4, kControllerVersion);
    putU32(block + 8, kInitSize);
    putU64(block + 12, 0);
    putU32(block + 20, CONTROLLER_FLAG_EXCLUSIVE);
    sink.write(block, kInitSize);
}

// A number message. Any value is written, zero included; leaving a zero port
// out is the conversation's decision.
template <typename Sink> void sendValue(Sink& sink, std::uint32_t id, std::int32_t value) {
    std::uint8_t block[kValueSize];
    putHeader(block, id, kValueSize);
    putU32(block + 8, static_cast<std::uint32_t>(value));
    sink.write(block, kValueSize);
}

// A text message: the bytes up to the first NUL, unchanged, then a 0 that the
// size counts. An empty text writes nothing. A text too long for the 32-bit
// size field, or a block that cannot be allocated, writes nothing either:
// a message with a wrapped size or missing bytes would corrupt the stream.
template <typename Sink> void sendData(Sink& sink, std::uint32_t id, const char* text) {
    const std::size_t length = std::strlen(text);
    if (length == 0 || length > UINT32_MAX - kDataOverhead) {
        return;
    }
    const auto size = static_cast<std::uint32_t>(length + kDataOverhead);
    auto* block = static_cast<std::uint8_t*>(std::malloc(size));
    if (block == nullptr) {
        return;
    }
    putHeader(block, id, size);
    std::memcpy(block + kHeaderSize, text, length);
    block[size - 1] = 0;
    sink.write(block, size);
    std::free(block);
}

// A bare request: the header alone.
template <typename Sink> void sendMessage(Sink& sink, std::uint32_t id) {
    std::uint8_t block[kHeaderSize];
    putHeader(block, id, kHeaderSize);
    sink.write(block, kHeaderSize);
}

} // namespace controller
