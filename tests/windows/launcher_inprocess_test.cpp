// What corvane-r.exe cannot show from outside: what the connection does
// with its handle and path. A plain file stands in for the pipe; both open
// alike.
#include "controller_connection.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// Opened alone and removed once, when closed or destroyed; a second close
// leaves alone whatever has since appeared under the same name.
TEST(ControllerConnection, HoldsThePathAloneAndRemovesItOnce) {
    char path[MAX_PATH] = {};
    GetTempFileNameA(".", "cvr", 0, path); // creates it
    {
        controller::ControllerConnection connection;
        connection.setPath(path);
        ASSERT_EQ(connection.open(), 0);
        EXPECT_EQ(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr),
                  INVALID_HANDLE_VALUE);
    }
    EXPECT_EQ(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES);

    controller::ControllerConnection connection;
    connection.setPath(path);
    CloseHandle(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    connection.close();
    EXPECT_EQ(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES);
    EXPECT_STREQ(connection.path(), "");
    CloseHandle(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    connection.close();
    EXPECT_NE(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES);
    DeleteFileA(path);
}

} // namespace
