// GoogleTest's thread-safe mode on Windows builds its Notification on
// std::mutex, which MinGW's win32 thread model lacks. This header is forced
// into every GoogleTest translation unit of the Windows build and supplies
// the same class on a Windows event, so that the product and its tests use
// the same compiler.
#pragma once

#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
public:
    Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(event_); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

} // namespace testing::internal
