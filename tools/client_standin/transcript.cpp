#include "transcript.h"

#include <cstdarg>

namespace standin {

std::string hexBytes(const std::uint8_t* block, std::uint32_t length) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(std::size_t{length} * 2u);
    for (std::uint32_t i = 0; i < length; ++i) {
        hex += digits[block[i] >> 4];
        hex += digits[block[i] & 0x0F];
    }
    return hex;
}

Transcript::Transcript(const char* jsonPath, const char* readablePath, bool revealPassword)
    : revealPassword_(revealPassword) {
    if (jsonPath != nullptr) {
        json_ = std::fopen(jsonPath, "wb");
    }
    if (readablePath != nullptr) {
        readable_ = std::fopen(readablePath, "w");
        ownsReadable_ = readable_ != nullptr;
    } else if (jsonPath == nullptr) {
        // Registered by hand in place of the real client: tell the console.
        readable_ = stdout;
    }
}

Transcript::~Transcript() {
    if (json_ != nullptr) {
        (void)std::fclose(json_);
    }
    if (ownsReadable_) {
        (void)std::fclose(readable_);
    }
}

void Transcript::json(const JsonLine& line) {
    if (json_ == nullptr) {
        return;
    }
    const std::string text = line.finish();
    // A transcript that cannot be written is not worth failing the client for.
    (void)std::fprintf(json_, "%s\n", text.c_str());
    (void)std::fflush(json_);
}

// NOLINTNEXTLINE(cert-dcl50-cpp): printf-style, checked by the format attribute
void Transcript::readable(const char* format, ...) {
    if (readable_ == nullptr) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    (void)std::vfprintf(readable_, format, arguments);
    va_end(arguments);
    (void)std::fputc('\n', readable_);
    (void)std::fflush(readable_);
}

} // namespace standin
