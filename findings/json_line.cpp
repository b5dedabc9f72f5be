#include "json_line.h"

#include <cstdio>

namespace findings {

JsonLine::JsonLine(const char* event) : text_("{") {
    add("event", event);
}

void JsonLine::key(const char* name) {
    if (text_.size() > 1) {
        text_ += ',';
    }
    text_ += '"';
    text_ += name;
    text_ += "\":";
}

JsonLine& JsonLine::add(const char* name, const std::string& value) {
    key(name);
    text_ += '"';
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            text_ += '\\';
            text_ += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escaped[8];
            (void)std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            text_ += escaped;
        } else {
            text_ += c;
        }
    }
    text_ += '"';
    return *this;
}

JsonLine& JsonLine::add(const char* name, long long value) {
    key(name);
    text_ += std::to_string(value);
    return *this;
}

JsonLine& JsonLine::add(const char* name, bool value) {
    key(name);
    text_ += value ? "true" : "false";
    return *this;
}

} // namespace findings
