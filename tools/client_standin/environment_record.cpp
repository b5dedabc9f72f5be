#include "environment_record.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace standin {
namespace {

bool isRecordedVariable(const std::string& name) {
    return name.rfind("SPICE_", 0) == 0 || name == "G_MESSAGES_DEBUG" || name == "CORVANE_PROBE";
}

// The value as a client that reads it in UTF-16 gets it (its paths, say),
// as its UTF-8 bytes in hex: an ANSI reading cannot show text beyond the
// ANSI code page, and Wine cuts a multibyte one at its length in UTF-16.
std::string wideValueHex(const std::string& name) {
    const std::wstring wideName(name.begin(), name.end()); // names we record are ASCII
    wchar_t value[1024] = {};
    const DWORD length = GetEnvironmentVariableW(wideName.c_str(), value, 1024);
    char utf8[4096] = {};
    const int size = length < 1024 ? WideCharToMultiByte(CP_UTF8, 0, value, int(length), utf8,
                                                         sizeof utf8, nullptr, nullptr)
                                   : 0;
    std::string hex;
    for (int i = 0; i < size; ++i) {
        char digits[3];
        (void)std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(utf8[i]));
        hex += digits;
    }
    return hex;
}

} // namespace

void recordEnvironment(Transcript& transcript) {
    char* block = GetEnvironmentStringsA();
    if (block == nullptr) {
        return;
    }
    for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
        const char* equals = std::strchr(entry + 1, '='); // "=C:" style names start with '='
        if (equals == nullptr) {
            continue;
        }
        const std::string name(entry, equals);
        const std::string value(equals + 1);
        if (isRecordedVariable(name)) {
            const bool password = name == "SPICE_PASSWORD";
            const std::string shown = transcript.shown(password, value);
            transcript.json(JsonLine("env")
                                .add("name", name)
                                .add("value", shown)
                                .add("utf8_hex", transcript.shown(password, wideValueHex(name))));
            transcript.readable("  %s=%s", name.c_str(), shown.c_str());
        }
    }
    FreeEnvironmentStringsA(block);
}

} // namespace standin
