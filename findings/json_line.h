// One flat JSON object per line: the stand-in's transcript and the check
// tool's findings are both written this way, for scripts to read.
#pragma once

#include <string>

namespace findings {

// Strings are byte strings in the ANSI code page; a byte of 0x80 and above is
// written as \u00XX, so the exact bytes come back out.
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

} // namespace findings
