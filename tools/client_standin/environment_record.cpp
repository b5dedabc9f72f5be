#include "environment_record.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace standin {
namespace {

bool isRecordedVariable(const std::string& name) {
    return name.rfind("SPICE_", 0) == 0 || name == "G_MESSAGES_DEBUG";
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
            const std::string shown = transcript.shown(name == "SPICE_PASSWORD", value);
            transcript.json(JsonLine("env").add("name", name).add("value", shown));
            transcript.readable("  %s=%s", name.c_str(), shown.c_str());
        }
    }
    FreeEnvironmentStringsA(block);
}

} // namespace standin
