#include "event_source_check.h"

#include <windows.h>

#include <string>

namespace check {

namespace {

constexpr char kCheck[] = "events";
constexpr char kSourceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" CORVANE_EVENT_SOURCE;

// The registered message file, its variables expanded; empty if the value
// is missing or not a text.
std::string messageFile(HKEY key) {
    char data[MAX_PATH] = {};
    DWORD type = 0;
    DWORD size = sizeof data - 1;
    if (RegQueryValueExA(key, "EventMessageFile", nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return "";
    }
    char expanded[MAX_PATH] = {};
    const DWORD length = ExpandEnvironmentStringsA(data, expanded, sizeof expanded);
    return length > 0 && length <= sizeof expanded ? expanded : data;
}

} // namespace

void checkEventSource(Report& report) {
    const std::string source = "the event source \"" CORVANE_EVENT_SOURCE "\"";
    const char* advice = "install the handler with the MSI, or register its source (DEPLOYMENT.md: "
                         "the handler's record in the event log)";
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSourceKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        report
            .add(Level::Warn, kCheck,
                 source + " is not registered: Event Viewer shows the handler's events without "
                          "their words",
                 advice)
            .add("registered", false);
        return;
    }
    const std::string file = messageFile(key);
    RegCloseKey(key);
    if (file.empty() || GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
        report
            .add(Level::Warn, kCheck,
                 source + " names the message file \"" + file +
                     "\", which does not exist: Event Viewer shows the handler's events "
                     "without their words",
                 advice)
            .add("registered", true)
            .add("messageFile", file);
        return;
    }
    report.add(Level::Ok, kCheck, source + " is registered, its words in " + file)
        .add("registered", true)
        .add("messageFile", file);
}

} // namespace check
