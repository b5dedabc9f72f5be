#include "windows_text.h"

#include <windows.h>

namespace handler {

namespace {

std::wstring toWide(UINT codePage, DWORD flags, const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), length);
    return wide;
}

// `usedDefault`, when given, says whether a character had no equivalent
// (only asked of the ANSI code page: UTF-8 does not allow the question).
std::string fromWide(UINT codePage, DWORD flags, const std::wstring& wide, BOOL* usedDefault) {
    if (wide.empty()) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, usedDefault);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), size, text.data(), length, nullptr,
                        usedDefault);
    return text;
}

} // namespace

bool utf8ToAnsi(const std::string& utf8, std::string& ansi) {
    const std::wstring wide = toWide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8);
    if (wide.empty() != utf8.empty()) {
        return false;
    }
    if (GetACP() == CP_UTF8) {
        // Windows' "Use Unicode UTF-8 for worldwide language support": the
        // text is already in it, and UTF-8 refuses both the best-fit flag
        // and the question whether a default was used.
        ansi = utf8;
        return true;
    }
    BOOL usedDefault = FALSE;
    ansi = fromWide(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, &usedDefault);
    // The round trip catches what a code page maps without complaint but
    // not back (Windows' own test for "exactly").
    return !usedDefault && toWide(CP_ACP, 0, ansi) == wide;
}

std::wstring ansiToWide(const std::string& ansi) {
    return toWide(CP_ACP, 0, ansi);
}

std::string wideToUtf8(const std::wstring& wide) {
    return fromWide(CP_UTF8, 0, wide, nullptr);
}

} // namespace handler
