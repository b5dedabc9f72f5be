// The launch sequence's early failures, run in this process so that what it
// leaves in its own environment and connection can be inspected.
#include "launch_sequence.h"
#include "windows_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using controller::ControllerConnection;
using namespace testing_support;

constexpr const char* kLauncherVariables[] = {"SPICE_XPI_NAMEDPIPE", "SPICE_DEBUG",
                                              "G_MESSAGES_DEBUG"};

class LaunchSequence : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kLauncherVariables) {
            SetEnvironmentVariableA(name, "from-parent");
        }
    }
    void TearDown() override {
        for (const char* name : kLauncherVariables) {
            SetEnvironmentVariableA(name, nullptr);
        }
        deleteClientKey();
    }

    void expectEnvironmentUntouched() {
        for (const char* name : kLauncherVariables) {
            EXPECT_EQ(variableOrUnset(name), "from-parent") << name;
        }
    }
};

TEST_F(LaunchSequence, MissingKeyFailsBeforeTouchingAnything) {
    deleteClientKey();
    ControllerConnection connection;
    EXPECT_EQ(launcher::runLaunch(connection), -1);
    EXPECT_TRUE(connection.path().empty());
    expectEnvironmentUntouched();
}

TEST_F(LaunchSequence, MissingValueFailsBeforeTouchingAnything) {
    setClientValue("placeholder", REG_SZ);
    deleteClientValue();
    ControllerConnection connection;
    EXPECT_EQ(launcher::runLaunch(connection), -1);
    EXPECT_TRUE(connection.path().empty());
    expectEnvironmentUntouched();
}

TEST_F(LaunchSequence, ValueLongerThanTheBufferIsRefused) {
    setClientValue(std::string(1025, 'a'), REG_BINARY);
    ControllerConnection connection;
    EXPECT_EQ(launcher::runLaunch(connection), -1);
    EXPECT_TRUE(connection.path().empty());
    expectEnvironmentUntouched();
}

TEST_F(LaunchSequence, UnstartableClientLeavesThePipeAdvertised) {
    setClientValue("Z:\\nonexistent\\no-such-client.exe --flag", REG_SZ);
    ControllerConnection connection;
    EXPECT_EQ(launcher::runLaunch(connection), -1);

    const std::string expected =
        "\\\\.\\pipe\\SpiceController-" + std::to_string(GetCurrentProcessId());
    EXPECT_EQ(connection.path(), expected);
    EXPECT_FALSE(connection.isOpen());
    EXPECT_EQ(variableOrUnset("SPICE_XPI_NAMEDPIPE"), expected);
    EXPECT_EQ(variableOrUnset("SPICE_DEBUG"), "1");
    EXPECT_EQ(variableOrUnset("G_MESSAGES_DEBUG"), "all");
}

} // namespace
