#include "client_checks.h"

#include "client_registry.h"

#include <windows.h>

#include <string>
#include <vector>

namespace check {

namespace {

std::string number(long long value) {
    return std::to_string(value);
}

// 64-bit Windows has two registry views: a 32-bit program on it runs under
// WOW64, and the 64-bit build of this tool is there by its nature.
bool twoRegistryViews() {
    BOOL wow64 = FALSE;
    return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
}

const char* typeName(DWORD type) {
    switch (type) {
    case REG_SZ:
        return "REG_SZ";
    case REG_EXPAND_SZ:
        return "REG_EXPAND_SZ";
    case REG_MULTI_SZ:
        return "REG_MULTI_SZ";
    case REG_BINARY:
        return "REG_BINARY";
    default:
        return "another type";
    }
}

std::string keyName() {
    return std::string("HKLM\\") + launcher::kClientKeyPath;
}

// Why the value could not be read, and what to do; `view` names where.
void reportUnread(Report& report, const launcher::ClientValue& found, const std::string& view) {
    const std::string key = keyName() + " (" + view + ")";
    if (found.keyError == ERROR_FILE_NOT_FOUND) {
        report.add(Level::Fail, "registry", key + " does not exist",
                   "Install the client, or build the launcher for the vendor key its installer "
                   "uses (CORVANE_CLIENT_VENDOR_KEY)");
    } else if (found.keyError != ERROR_SUCCESS) {
        report.add(Level::Fail, "registry",
                   key + " cannot be opened: error " + number(found.keyError),
                   "Give users read access to the key");
    } else if (found.valueError == ERROR_FILE_NOT_FOUND) {
        report.add(Level::Fail, "registry",
                   key + " has no value \"" + launcher::kClientValueName + "\"",
                   "Reinstall the client");
    } else if (found.valueError == ERROR_MORE_DATA) {
        report
            .add(Level::Fail, "registry",
                 "the value \"" + std::string(launcher::kClientValueName) + "\" in " + key +
                     " is " + number(found.size) + " bytes; the launcher takes at most " +
                     number(launcher::kCommandLineSize),
                 "Shorten the client's command line, for instance by installing it in a "
                 "shorter path")
            .add("length", static_cast<long long>(found.size));
    } else {
        report.add(Level::Fail, "registry",
                   "the value in " + key + " cannot be read: error " + number(found.valueError));
    }
}

// Whether Windows finds a file for this program path, as CreateProcessA
// looks for one: ".exe" added when the name has no extension. `found`
// receives the file's full path, and only when there is one.
bool programExists(const std::string& path, std::string& found) {
    char buffer[MAX_PATH];
    const DWORD length = SearchPathA(nullptr, path.c_str(), ".exe", sizeof buffer, buffer, nullptr);
    if (length == 0 || length >= sizeof buffer) {
        return false;
    }
    const DWORD attributes = GetFileAttributesA(buffer);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    found = buffer;
    return true;
}

// checkRegistry, with what the launcher's read found.
int checkRegistry(Report& report, char (&commandLine)[launcher::kCommandLineSize + 1],
                  launcher::ClientValue& found) {
    const bool twoViews = twoRegistryViews();
    const std::string view = twoViews ? "32-bit view" : "the only view of 32-bit Windows";
    if (launcher::readClientCommandLine(commandLine, 0, &found) == 0) {
        report
            .add(Level::Ok, "registry",
                 keyName() + " (" + view + "), value \"" + launcher::kClientValueName +
                     "\": " + typeName(found.type) + ", " + number(found.size) + " bytes")
            .add("key", keyName())
            .add("view", view)
            .add("type", typeName(found.type))
            .add("length", static_cast<long long>(found.size));
        if (found.type == REG_EXPAND_SZ) {
            report.add(Level::Warn, "registry",
                       "stored as REG_EXPAND_SZ: the launcher does not expand %VARIABLES%",
                       "Write the paths out in full");
        }
        return 0;
    }
    reportUnread(report, found, view);
    // A 64-bit installer writes the other view, which a 32-bit program
    // never reads.
    char other[launcher::kCommandLineSize + 1] = {};
    const bool missing =
        found.keyError == ERROR_FILE_NOT_FOUND || found.valueError == ERROR_FILE_NOT_FOUND;
    if (twoViews && missing && launcher::readClientCommandLine(other, KEY_WOW64_64KEY) == 0) {
        report
            .add(Level::Fail, "registry",
                 "the 64-bit view has the value (" + std::string(other) +
                     "): a 64-bit installer wrote it, and the launcher, a 32-bit program, "
                     "reads only the 32-bit view",
                 "Install the client's 32-bit package, or put the value in "
                 "HKLM\\Software\\WOW6432Node\\" +
                     std::string(launcher::kClientKeyPath).substr(9))
            .add("view", "64-bit view");
    }
    return -1;
}

// Windows starts only an image with a DOS header that leads to a PE one.
bool isWindowsProgram(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    unsigned char dos[64] = {};
    char signature[4] = {};
    DWORD got = 0;
    bool program = ReadFile(file, dos, sizeof dos, &got, nullptr) && got == sizeof dos &&
                   dos[0] == 'M' && dos[1] == 'Z';
    if (program) {
        const DWORD offset =
            DWORD{dos[60]} | DWORD{dos[61]} << 8 | DWORD{dos[62]} << 16 | DWORD{dos[63]} << 24;
        program = SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) !=
                      INVALID_SET_FILE_POINTER &&
                  ReadFile(file, signature, sizeof signature, &got, nullptr) &&
                  got == sizeof signature && std::string(signature, 4) == std::string("PE\0\0", 4);
    }
    CloseHandle(file);
    return program;
}

// The program that exists, as found: fine, with `level`, unless it is no
// Windows program.
void reportProgram(Report& report, Level level, const std::string& path, const std::string& text,
                   const std::string& advice = "") {
    if (!isWindowsProgram(path)) {
        report
            .add(Level::Fail, "program", path + " is not a Windows program",
                 "Reinstall the client, or correct the registry value")
            .add("path", path);
        return;
    }
    report.add(level, "program", text, advice).add("path", path);
}

} // namespace

int checkRegistry(Report& report, char (&commandLine)[launcher::kCommandLineSize + 1]) {
    launcher::ClientValue found;
    return checkRegistry(report, commandLine, found);
}

bool checkProgram(Report& report, const char* commandLine) {
    const std::string line = commandLine;
    std::string found;
    if (line[0] == '"') {
        const std::string path = line.substr(1, line.find('"', 1) - 1);
        if (!programExists(path, found)) {
            report
                .add(Level::Fail, "program", path + " does not exist",
                     "Install the client there, or correct the registry value")
                .add("path", path);
            return false;
        }
        reportProgram(report, Level::Ok, found, "\"" + found + "\" exists");
        return true;
    }
    // Unquoted: Windows tries the text up to each space or tab in turn, and
    // at last the whole line, and runs the first that exists.
    std::vector<std::string> candidates;
    for (std::size_t at = line.find_first_of(" \t"); at != std::string::npos;
         at = line.find_first_of(" \t", at + 1)) {
        candidates.push_back(line.substr(0, at));
    }
    candidates.push_back(line);
    std::vector<std::string> existing(candidates.size());
    std::size_t first = candidates.size();
    std::size_t last = candidates.size();
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (programExists(candidates[i], existing[i])) {
            first = first == candidates.size() ? i : first;
            last = i;
        }
    }
    if (first == candidates.size()) {
        report
            .add(Level::Fail, "program", candidates[0] + " does not exist",
                 "Install the client there, or correct the registry value")
            .add("path", candidates[0]);
        return false;
    }
    if (first == 0 && last == 0) {
        reportProgram(report, Level::Ok, existing[0], existing[0] + " exists");
        return true;
    }
    std::string tried;
    for (std::size_t i = 0; i < last; ++i) {
        tried += (tried.empty() ? "" : ", ") + candidates[i] +
                 (existing[i].empty() ? " (missing)" : " (exists: " + existing[i] + ")");
    }
    if (first < last) {
        report
            .add(Level::Fail, "program",
                 "not quoted, so Windows runs " + existing[first] + " rather than " +
                     existing[last] + "; it tries " + tried + " first",
                 "Quote the program's path in the registry value")
            .add("path", existing[first]);
    } else {
        reportProgram(report, Level::Warn, existing[last],
                      existing[last] + " has spaces and is not quoted; Windows tries " + tried +
                          " first",
                      "Quote the program's path in the registry value");
    }
    return true;
}

Blocker diagnoseLaunch(Report& report) {
    char commandLine[launcher::kCommandLineSize + 1] = {};
    launcher::ClientValue found;
    if (checkRegistry(report, commandLine, found) != 0) {
        const bool missing =
            found.keyError == ERROR_FILE_NOT_FOUND || found.valueError == ERROR_FILE_NOT_FOUND;
        return missing ? Blocker::NotInstalled : Blocker::Other;
    }
    if (!checkProgram(report, commandLine)) {
        return Blocker::ProgramMissing;
    }
    return report.failed() ? Blocker::Other : Blocker::None;
}

} // namespace check
