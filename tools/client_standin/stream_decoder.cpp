#include "stream_decoder.h"

namespace standin {

namespace {

std::uint32_t readU32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

enum class Shape { Text, Number, Request, Unknown };

struct KnownId {
    std::uint32_t id;
    Shape shape;
    const char* name;
};

constexpr KnownId kKnownIds[] = {
    {1, Shape::Text, "CONTROLLER_HOST"},       {2, Shape::Number, "CONTROLLER_PORT"},
    {3, Shape::Number, "CONTROLLER_SPORT"},    {4, Shape::Text, "CONTROLLER_PASSWORD"},
    {8, Shape::Text, "CONTROLLER_CA_FILE"},    {9, Shape::Text, "CONTROLLER_HOST_SUBJECT"},
    {11, Shape::Text, "CONTROLLER_SET_TITLE"}, {16, Shape::Request, "CONTROLLER_CONNECT"},
    {17, Shape::Request, "CONTROLLER_SHOW"},
};

DecodedMessage invalid(DecodedMessage message, const char* error) {
    message.kind = "invalid";
    message.error = error;
    return message;
}

DecodedMessage decodeInit(const std::uint8_t* block, std::uint32_t length) {
    DecodedMessage message;
    message.kind = "init";
    message.name = "INIT";
    if (length != 24) {
        return invalid(message, "opening record is not 24 bytes");
    }
    message.size = readU32(block + 8);
    if (readU32(block) != 0x4C525443) {
        return invalid(message, "bad magic");
    }
    if (readU32(block + 4) != 1) {
        return invalid(message, "bad version");
    }
    if (message.size != 24) {
        return invalid(message, "size field does not match the record");
    }
    if (readU32(block + 12) != 0 || readU32(block + 16) != 0) {
        return invalid(message, "credentials are not zero");
    }
    message.number = static_cast<std::int32_t>(readU32(block + 20));
    if (message.number != 1) {
        return invalid(message, "flags are not exactly the exclusive flag");
    }
    return message;
}

} // namespace

DecodedMessage decodeBlock(const std::uint8_t* block, std::uint32_t length, bool first) {
    if (first) {
        return decodeInit(block, length);
    }
    DecodedMessage message;
    if (length < 8) {
        return invalid(message, "shorter than a message header");
    }
    message.id = readU32(block);
    message.size = readU32(block + 4);
    if (message.size != length) {
        return invalid(message, "size field does not match the block");
    }
    Shape shape = Shape::Unknown;
    for (const KnownId& known : kKnownIds) {
        if (known.id == message.id) {
            message.name = known.name;
            shape = known.shape;
        }
    }
    switch (shape) {
    case Shape::Request:
        message.kind = "request";
        return length == 8 ? message : invalid(message, "request with a body");
    case Shape::Number:
        message.kind = "number";
        if (length != 12) {
            return invalid(message, "number message is not 12 bytes");
        }
        message.number = static_cast<std::int32_t>(readU32(block + 8));
        return message;
    case Shape::Text: {
        message.kind = "text";
        if (length < 10) {
            return invalid(message, "text message without text");
        }
        if (block[length - 1] != 0) {
            return invalid(message, "text without terminator");
        }
        message.text.assign(reinterpret_cast<const char*>(block + 8), length - 9);
        if (message.text.find('\0') != std::string::npos) {
            return invalid(message, "NUL inside the text");
        }
        return message;
    }
    case Shape::Unknown:
        break;
    }
    return invalid(message, "unknown message id");
}

} // namespace standin
