// Text between the handler's three encodings: the connection file's UTF-8,
// the ANSI code page of the launcher's environment, and the UTF-16 of
// Windows' file names and message boxes.
#pragma once

#include <string>

namespace handler {

// Exact or not at all: false when a character has no equivalent in the
// ANSI code page (no best-fit substitutes, no '?').
bool utf8ToAnsi(const std::string& utf8, std::string& ansi);
std::wstring ansiToWide(const std::string& ansi);
std::string wideToUtf8(const std::wstring& wide);

} // namespace handler
