// The launch sequence's early failures, run in this process so that what it
// leaves in its own environment and connection can be inspected.
#include "launch_sequence.h"
#include "windows_support.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

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

struct EarlyFailure {
    const char* name;
    void (*arrange)();
};

void PrintTo(const EarlyFailure& c, std::ostream* os) {
    *os << c.name;
}

class FailureBeforeTheClient : public LaunchSequence,
                               public ::testing::WithParamInterface<EarlyFailure> {};

// No usable command line: nothing is advertised, nothing is started.
TEST_P(FailureBeforeTheClient, LeavesEnvironmentAndConnectionUntouched) {
    GetParam().arrange();
    ControllerConnection connection;
    EXPECT_EQ(launcher::runLaunch(connection), -1);
    EXPECT_STREQ(connection.path(), "");
    expectEnvironmentUntouched();
}

INSTANTIATE_TEST_SUITE_P(
    Registry, FailureBeforeTheClient,
    ::testing::Values(EarlyFailure{"KeyMissing", [] { deleteClientKey(); }},
                      EarlyFailure{"ValueMissing",
                                   [] {
                                       setClientValue("placeholder", REG_SZ);
                                       deleteClientValue();
                                   }},
                      EarlyFailure{"ValueLongerThanTheBuffer",
                                   [] { setClientValue(std::string(1025, 'a'), REG_BINARY); }}),
    [](const ::testing::TestParamInfo<EarlyFailure>& param) { return param.param.name; });

TEST_F(LaunchSequence, UnstartableClientLeavesThePipeAdvertised) {
    setClientValue("Z:\\nonexistent\\no-such-client.exe --flag", REG_SZ);
    ControllerConnection connection;
    EXPECT_EQ(launcher::runLaunch(connection), -1);

    const std::string expected =
        "\\\\.\\pipe\\SpiceController-" + std::to_string(GetCurrentProcessId());
    EXPECT_EQ(std::string(connection.path()), expected);
    EXPECT_FALSE(connection.isOpen());
    EXPECT_EQ(variableOrUnset("SPICE_XPI_NAMEDPIPE"), expected);
    EXPECT_EQ(variableOrUnset("SPICE_DEBUG"), "1");
    EXPECT_EQ(variableOrUnset("G_MESSAGES_DEBUG"), "all");
}

} // namespace
