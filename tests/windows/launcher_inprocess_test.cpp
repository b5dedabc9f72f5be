// What corvane-r.exe cannot show from outside: the pipe path's digits at
// their bounds, and what the connection's close does with its handle and
// path. A plain file stands in for the pipe; both open alike.
#include "launch_sequence.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>

namespace {

TEST(PipePath, NamesTheProcessIdInDecimal) {
    const std::pair<unsigned long, const char*> cases[] = {
        {0, "\\\\.\\pipe\\SpiceController-0"},
        {640, "\\\\.\\pipe\\SpiceController-640"},
        {4294967295ul, "\\\\.\\pipe\\SpiceController-4294967295"}};
    for (const auto& [processId, expected] : cases) {
        char path[launcher::kPipePathSize];
        launcher::formatPipePath(path, processId);
        EXPECT_STREQ(path, expected);
    }
}

std::string newFile() {
    char directory[MAX_PATH] = {};
    char path[MAX_PATH] = {};
    GetTempPathA(sizeof directory, directory);
    EXPECT_NE(GetTempFileNameA(directory, "cvr", 0, path), 0u); // creates it, empty
    return path;
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(ControllerConnection, HoldsThePathAloneAndDestructionRemovesIt) {
    const std::string path = newFile();
    {
        controller::ControllerConnection connection;
        connection.setPath(path.c_str());
        ASSERT_EQ(connection.open(), 0);
        EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr),
                  INVALID_HANDLE_VALUE);
    }
    EXPECT_FALSE(exists(path));
}

// Removed once, even when never opened; a second close leaves alone
// whatever has since appeared under the same name.
TEST(ControllerConnection, CloseRemovesThePathOnce) {
    const std::string path = newFile();
    controller::ControllerConnection connection;
    connection.setPath(path.c_str());
    connection.close();
    EXPECT_FALSE(exists(path));
    EXPECT_STREQ(connection.path(), "");

    CloseHandle(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    connection.close();
    EXPECT_TRUE(exists(path));
    DeleteFileA(path.c_str());
}

} // namespace
