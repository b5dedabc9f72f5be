// What the stand-in client saw, in two forms: JSON lines, one flat object per
// event, for the tests; and a readable account for people, with the password
// masked.
#pragma once

#include "json_line.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace standin {

using findings::JsonLine;

std::string hexBytes(const std::uint8_t* block, std::uint32_t length);

class Transcript {
public:
    // The password is masked wherever it is written unless `revealPassword`.
    Transcript(const char* jsonPath, const char* readablePath, bool revealPassword);
    ~Transcript();
    Transcript(const Transcript&) = delete;
    Transcript& operator=(const Transcript&) = delete;

    // Writes and flushes at once, so a test sees every event even if the
    // process is stopped from outside.
    void json(const JsonLine& line);
    // NOLINTNEXTLINE(cert-dcl50-cpp): printf-style, checked by the format attribute
    void readable(const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 2, 3)));

    bool revealsPassword() const { return revealPassword_; }
    // A secret value as it may be written: all asterisks unless revealed.
    std::string shown(bool secret, const std::string& value) const {
        return secret && !revealPassword_ ? std::string(value.size(), '*') : value;
    }

private:
    std::FILE* json_ = nullptr;
    std::FILE* readable_ = nullptr;
    bool ownsReadable_ = false;
    bool revealPassword_ = false;
};

} // namespace standin
