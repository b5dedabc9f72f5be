#include "base64.h"

namespace handler {

namespace {

int valueOf(char c, bool url) {
    return c >= 'A' && c <= 'Z'     ? c - 'A'
           : c >= 'a' && c <= 'z'   ? c - 'a' + 26
           : c >= '0' && c <= '9'   ? c - '0' + 52
           : c == (url ? '-' : '+') ? 62
           : c == (url ? '_' : '/') ? 63
                                    : -1;
}

bool decode(const std::string& text, bool url, Padding padding, std::string& bytes) {
    std::string data = text;
    const std::size_t pad = data.find('=');
    if (pad != std::string::npos) {
        // Padding, where given, makes whole groups of four, and ends it.
        if (padding == Padding::Forbidden || data.size() % 4 != 0 || data.size() - pad > 2 ||
            data.find_first_not_of('=', pad) != std::string::npos) {
            return false;
        }
        data.resize(pad);
    } else if (padding == Padding::Required && data.size() % 4 != 0) {
        return false;
    }
    if (data.size() % 4 == 1) {
        return false;
    }
    bytes.clear();
    unsigned bits = 0;
    int count = 0;
    for (const char c : data) {
        const int value = valueOf(c, url);
        if (value < 0) {
            return false;
        }
        bits = (bits << 6 | unsigned(value)) & 0xFFFFFF;
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return (bits & ((1U << count) - 1)) == 0;
}

} // namespace

bool decodeBase64url(const std::string& text, Padding padding, std::string& bytes) {
    return decode(text, true, padding, bytes);
}

bool decodeBase64(const std::string& text, std::string& bytes) {
    return decode(text, false, Padding::Required, bytes);
}

} // namespace handler
