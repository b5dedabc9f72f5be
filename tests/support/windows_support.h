// Helpers for tests that run on Windows (under Wine here): paths, files, the
// client's registry value and the process environment.
#pragma once

#include "windows_probe.h"

#include <windows.h>

#include <string>

namespace testing_support {

// A path the build gave us, as Windows sees it: under Wine the Linux root is
// drive Z:.
std::string toWindowsPath(const std::string& path);

// The executables under test: the ones this build made, unless the
// environment names others (another compiler's build of the same sources).
std::string launcherUnderTest();
std::string standinUnderTest();

// A fresh, empty directory under the temporary directory.
std::string makeScratchDirectory(const char* label);

bool fileExists(const std::string& path);
std::string readWholeFile(const std::string& path);
void writeWholeFile(const std::string& path, const std::string& contents);

// The registry value the launcher reads its client command line from.
void setClientValue(const std::string& data, DWORD type);
void deleteClientValue(); // keeps the key
void deleteClientKey();

// The variable's value, or "<unset>".
std::string variableOrUnset(const char* name);

using probe::clockMicroseconds;
using probe::runningUnderWine;

} // namespace testing_support
