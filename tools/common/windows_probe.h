// Two facts about the running system that the stand-in client, the tests and
// the benchmark share: a clock that all processes read alike, and whether
// Wine is underneath.
#pragma once

#include <windows.h>

namespace probe {

// Microseconds on the machine-wide monotonic clock, so that events stamped
// by different processes line up.
inline long long clockMicroseconds() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return now.QuadPart / frequency.QuadPart * 1000000 +
           now.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

// Wine's ntdll exports its version; Windows' does not.
inline bool runningUnderWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

} // namespace probe
