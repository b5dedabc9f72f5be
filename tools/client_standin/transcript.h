// What the stand-in client saw, in two forms: JSON lines, one flat object per
// event, for the tests; and a readable account for people, with the password
// masked.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace standin {

// One flat JSON object. Strings are byte strings in the ANSI code page; a byte
// of 0x80 and above is written as \u00XX, so the exact bytes come back out.
class JsonLine {
public:
    explicit JsonLine(const char* event);
    JsonLine& add(const char* name, const std::string& value);
    JsonLine& add(const char* name, const char* value) { return add(name, std::string(value)); }
    JsonLine& add(const char* name, long long value);
    JsonLine& add(const char* name, bool value);
    std::string finish() const { return text_ + "}"; }

private:
    void key(const char* name);
    std::string text_;
};

std::string hexBytes(const std::uint8_t* block, std::uint32_t length);

class Transcript {
public:
    Transcript(const char* jsonPath, const char* readablePath);
    ~Transcript();
    Transcript(const Transcript&) = delete;
    Transcript& operator=(const Transcript&) = delete;

    // Writes and flushes at once, so a test sees every event even if the
    // process is stopped from outside.
    void json(const JsonLine& line);
    // NOLINTNEXTLINE(cert-dcl50-cpp): printf-style, checked by the format attribute
    void readable(const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 2, 3)));

private:
    std::FILE* json_ = nullptr;
    std::FILE* readable_ = nullptr;
    bool ownsReadable_ = false;
};

} // namespace standin
