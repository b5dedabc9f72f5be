// Decodes and checks one block of the controller stream as the client reads
// it. Written apart from the launcher's encoder on purpose: it is the second
// opinion on every byte the launcher sends.
#pragma once

#include <cstdint>
#include <string>

namespace standin {

struct DecodedMessage {
    std::string kind;        // "init", "text", "number", "request" or "invalid"
    std::string name;        // protocol name of the id, or "INIT"
    std::uint32_t id = 0;    // 0 for the opening record
    std::uint32_t size = 0;  // the record's own size field
    std::int32_t number = 0; // number messages
    std::string text;        // text messages, without the terminator
    std::string error;       // empty when the block is a well-formed message
};

// `first` tells whether this is the stream's first block, which must be the
// opening record and may be nothing else.
DecodedMessage decodeBlock(const std::uint8_t* block, std::uint32_t length, bool first);

} // namespace standin
