#include "controller_connection.h"
#include "controller_conversation.h"
#include "test_environment.h"
#include "windows_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using controller::ControllerConnection;
using namespace testing_support;

std::string uniquePipePath() {
    static unsigned counter = 0;
    return "\\\\.\\pipe\\corvane-connection-test-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++counter);
}

// The client's side of the pipe, in message mode so that each write of the
// connection comes back as one message.
struct PipeServer {
    HANDLE pipe;

    explicit PipeServer(const std::string& path)
        : pipe(CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX,
                                PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 65536,
                                65536, 0, nullptr)) {}
    ~PipeServer() { CloseHandle(pipe); }

    std::vector<std::string> readAll() {
        std::vector<std::string> messages;
        char buffer[65536];
        DWORD got = 0;
        while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr)) {
            messages.emplace_back(buffer, got);
        }
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
        return messages;
    }
};

TEST(ControllerConnection, OpensAnExistingPipeAndWritesOneMessagePerBlock) {
    ParameterEnvironment::clearParameters();
    const std::string path = uniquePipePath();
    PipeServer server(path);
    ASSERT_NE(server.pipe, INVALID_HANDLE_VALUE);

    ControllerConnection connection;
    connection.setPath(path.c_str());
    const long long before = clockMicroseconds();
    ASSERT_EQ(connection.open(), 0);
    const long long elapsedMs = (clockMicroseconds() - before) / 1000;
    // Found at the first attempt, then the pause that follows every attempt.
    EXPECT_GE(elapsedMs, 990);
    EXPECT_LT(elapsedMs, 1900);
    EXPECT_TRUE(connection.isOpen());

    controller::forwardParameters(connection);
    connection.close();
    EXPECT_FALSE(connection.isOpen());
    EXPECT_STREQ(connection.path(), "");

    const std::vector<std::string> messages = server.readAll();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].substr(0, 4), "CTRL");
    EXPECT_EQ(messages[0].size(), 24u);
    EXPECT_EQ(messages[1], std::string("\x11\0\0\0\x08\0\0\0", 8));
    EXPECT_EQ(messages[2], std::string("\x10\0\0\0\x08\0\0\0", 8));
}

// The path is removed on close whether or not it was ever opened; a second
// close must not remove whatever has since appeared under the same name.
TEST(ControllerConnection, CloseRemovesThePathOnceOnly) {
    const std::string path = makeScratchDirectory("connection") + "\\pipe-stand-in";
    writeWholeFile(path, "x");

    ControllerConnection connection;
    connection.setPath(path.c_str());
    connection.close();
    EXPECT_FALSE(fileExists(path));
    EXPECT_STREQ(connection.path(), "");

    writeWholeFile(path, "y");
    connection.close();
    EXPECT_TRUE(fileExists(path));
    DeleteFileA(path.c_str());
}

TEST(ControllerConnection, DestructionClosesHandleAndRemovesPath) {
    const std::string path = makeScratchDirectory("connection") + "\\file";
    writeWholeFile(path, "");
    {
        ControllerConnection connection;
        connection.setPath(path.c_str());
        ASSERT_EQ(connection.open(), 0); // a plain file opens like the pipe
        const std::uint8_t block[3] = {1, 2, 3};
        connection.write(block, sizeof block);
        // Unshared: nobody else can open the path while we hold it.
        EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr),
                  INVALID_HANDLE_VALUE);
    }
    EXPECT_FALSE(fileExists(path));
}

} // namespace
