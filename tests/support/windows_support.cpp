#include "windows_support.h"

#include "client_registry.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace testing_support {

std::string toWindowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') {
        return path;
    }
    std::string windows = "Z:" + path;
    for (char& c : windows) {
        if (c == '/') {
            c = '\\';
        }
    }
    return windows;
}

namespace {

std::string fromEnvironmentOr(const char* name, const char* built) {
    char buffer[MAX_PATH * 2];
    const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    return toWindowsPath(length > 0 && length < sizeof buffer ? buffer : built);
}

} // namespace

std::string launcherUnderTest() {
    return fromEnvironmentOr("CORVANE_LAUNCHER_UNDER_TEST", CORVANE_LAUNCHER_PATH);
}

std::string standinUnderTest() {
    return fromEnvironmentOr("CORVANE_STANDIN_UNDER_TEST", CORVANE_STANDIN_PATH);
}

std::string makeScratchDirectory(const char* label) {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    // Process ids come round again quickly under Wine: only a directory that
    // this call created is known to be empty.
    static unsigned counter = 0;
    char name[MAX_PATH * 2];
    do {
        std::snprintf(name, sizeof name, "%scorvane-%s-%lu-%lld-%u", temp, label,
                      GetCurrentProcessId(), clockMicroseconds(), ++counter);
    } while (!CreateDirectoryA(name, nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
    return name;
}

bool fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string readWholeFile(const std::string& path) {
    std::string contents;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return contents;
    }
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        contents.append(buffer, got);
    }
    std::fclose(file);
    return contents;
}

void writeWholeFile(const std::string& path, const std::string& contents) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    std::fwrite(contents.data(), 1, contents.size(), file);
    std::fclose(file);
}

void setClientValue(const std::string& data, DWORD type) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, launcher::kClientKeyPath, 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const LONG result =
        RegSetValueExA(key, launcher::kClientValueName, 0, type,
                       reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    ASSERT_EQ(result, ERROR_SUCCESS);
}

void deleteClientValue() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, launcher::kClientKeyPath, 0, KEY_SET_VALUE, &key) ==
        ERROR_SUCCESS) {
        RegDeleteValueA(key, launcher::kClientValueName);
        RegCloseKey(key);
    }
}

void deleteClientKey() {
    deleteClientValue();
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, launcher::kClientKeyPath);
}

std::string variableOrUnset(const char* name) {
    char buffer[4096];
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
        return "<unset>";
    }
    return std::string(buffer, length < sizeof buffer ? length : 0);
}

} // namespace testing_support
