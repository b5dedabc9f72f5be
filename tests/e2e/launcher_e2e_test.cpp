// corvane-r.exe end to end under Wine: the prefix's real registry, real
// processes and a real named pipe, with the stand-in client on the other end
// recording what arrives and when.
#include "client_registry.h"
#include "launch_driver.h"
#include "wire.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace e2e;
using namespace wire;
using Messages = std::vector<std::string>;

constexpr DWORD kFailed = 0xFFFFFFFF; // -1 as a Windows parent reads it

long long ms(long long fromUs, long long toUs) {
    return (toUs - fromUs) / 1000;
}

// How the client's command line is stored in the registry.
enum class Client {
    Standin,           // the stand-in with the row's options, a REG_SZ
    NoKey,             // no key at all
    NoValue,           // the key without the value
    TooLong,           // the stand-in's command, padded to 1025 bytes
    NotStartable,      // a program that does not exist
    FullWithoutNul,    // 1024 bytes, REG_BINARY, no terminator
    FullString,        // 1023 characters and the NUL, REG_SZ
    ShortExpandString, // 300 bytes, REG_EXPAND_SZ
};

// The stand-in's command line padded with spaces before `tail` to exactly
// `length` bytes: a launcher that dropped or added a byte would change the
// exit code the stand-in reports.
std::string paddedStandin(std::size_t length, const std::string& tail) {
    const std::string command = standinCommand("");
    return command + std::string(length - command.size() - tail.size(), ' ') + tail;
}

void storeClient(Client client, const std::string& options) {
    deleteClientKey();
    const std::string nul(1, '\0');
    switch (client) {
    case Client::Standin:
        return setClientValue(standinCommand(options) + nul, REG_SZ);
    case Client::NoKey:
        return;
    case Client::NoValue: {
        setClientValue("", REG_SZ);
        HKEY key = nullptr;
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, launcher::kClientKeyPath, 0, KEY_SET_VALUE, &key);
        RegDeleteValueA(key, launcher::kClientValueName);
        RegCloseKey(key);
        return;
    }
    case Client::TooLong:
        return setClientValue(paddedStandin(1025, ""), REG_BINARY);
    case Client::NotStartable:
        return setClientValue("Z:\\no\\such\\client.exe" + nul, REG_SZ);
    case Client::FullWithoutNul:
        return setClientValue(paddedStandin(1024, options), REG_BINARY);
    case Client::FullString:
        return setClientValue(paddedStandin(1023, options) + nul, REG_SZ);
    case Client::ShortExpandString:
        return setClientValue(paddedStandin(299, options) + nul, REG_EXPAND_SZ);
    }
}

struct Row {
    const char* name;
    Client client;
    std::string options; // the stand-in's
    Variables variables; // what the portal gives the launcher
    DWORD exitCode;      // as the launcher's parent reads it
    bool clientRuns;
    Messages messages; // what the client receives
    int clientExit;    // the exit code the client reports
    long long minMs, maxMs; // the launcher's whole run
};

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

const Messages kBare = {kInit, kShow, kConnect};

// Upper bounds leave room for a slow, busy machine; the lower ones are the
// mandated waits: found at the second attempt (1 s) or later, then 1 s.
const Row kRows[] = {
    {"NoParameters", Client::Standin, "", {}, 0, true, kBare, 0, 1990, 6000},
    {"ClientExitCodeNotPassedOn", Client::Standin, "--linger-ms 700 --exit-code -1", {}, 0, true,
     kBare, -1, 2690, 7000},
    {"PipeCreatedLate", Client::Standin, "--pipe-delay-ms 1500", {}, 0, true, kBare, 0, 2990, 7000},
    {"ClientClosesItsEndEarly", Client::Standin, "--close-after 2 --linger-ms 300",
     {{"SPICE_HOST", "h"}, {"SPICE_PORT", "1"}, {"SPICE_PASSWORD", "p"}}, 0, true,
     {kInit, text(1, "h")}, 0, 1990, 6000},
    {"NoPipeTenAttempts", Client::Standin, "--no-pipe --linger-ms 30000", {}, kFailed, true, {}, 0,
     9950, 14000},
    {"KeyMissing", Client::NoKey, "", {}, kFailed, false, {}, 0, 0, 3000},
    {"ValueMissing", Client::NoValue, "", {}, kFailed, false, {}, 0, 0, 3000},
    {"ValueLongerThanTheBuffer", Client::TooLong, "", {}, kFailed, false, {}, 0, 0, 3000},
    {"ClientNotStartable", Client::NotStartable, "", {}, kFailed, false, {}, 0, 0, 3000},
    {"FullSizeValueWithoutNul", Client::FullWithoutNul, " --exit-code 42", {}, 0, true, kBare, 42,
     1990, 6000},
    {"FullSizeString", Client::FullString, " --exit-code 42", {}, 0, true, kBare, 42, 1990, 6000},
    {"ExpandString", Client::ShortExpandString, " --exit-code 42", {}, 0, true, kBare, 42, 1990,
     6000},
};

class Launcher : public ::testing::TestWithParam<Row> {
protected:
    void TearDown() override { deleteClientKey(); }
};

TEST_P(Launcher, ExitsAsTheRowSays) {
    const Row& row = GetParam();
    storeClient(row.client, row.options);
    const Launch run = launch(row.variables);
    EXPECT_EQ(run.exitCode, row.exitCode);
    EXPECT_EQ(run.output, "");
    EXPECT_GE(ms(run.startUs, run.endUs), row.minMs);
    EXPECT_LE(ms(run.startUs, run.endUs), row.maxMs);
    if (!row.clientRuns) {
        EXPECT_TRUE(run.transcript.empty());
        return;
    }
    EXPECT_EQ(run.messages(), row.messages);
    const Json connected = run.first("connected");
    if (!row.messages.empty()) {
        // Found at the first attempt after the pipe appeared, then the pause.
        const long long created = run.first("pipe_created").value("clock_us", 0LL);
        const long long at = connected.value("clock_us", 0LL);
        EXPECT_LT(ms(created, at), 1200);
        EXPECT_GE(ms(at, run.first("message").value("clock_us", 0LL)), 990);
    }
    if (row.exitCode == 0) {
        // Ended right after the client, whatever the client's exit code.
        const Json exit = run.first("exit");
        EXPECT_EQ(exit.value("code", 12345), row.clientExit);
        EXPECT_GE(run.endUs, exit.value("clock_us", run.endUs + 1));
        EXPECT_LT(ms(exit.value("clock_us", 0LL), run.endUs), 1500);
    } else {
        // Given up on, the client is left running, holding none of the
        // launcher's handles.
        EXPECT_FALSE(run.handleOutlivedLauncher);
        EXPECT_TRUE(stopIfRunning(run.first("start").value("pid", 0u)));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Launcher, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

// Everything a portal can give, and what the client is given in turn.
TEST(LauncherEnvironment, ForwardsEveryParameterAndAdvertisesThePipe) {
    storeClient(Client::Standin, "--reveal-password");
    char directory[MAX_PATH] = {};
    GetTempPathA(sizeof directory, directory);
    directory[lstrlenA(directory) - 1] = '\0'; // as the client reads it: no trailing '\\'
    const Launch run = launch({{"SPICE_HOST", "vm7.example"},
                               {"SPICE_PORT", "5900"},
                               {"SPICE_SPORT", " 5901tls"},
                               {"SPICE_PASSWORD", "s3cret pass"},
                               {"SPICE_TITLE", " Console \xC4\xE3 \x80\xFF "},
                               {"SPICE_CA_FILE", "C:\\certs\\ca.pem"},
                               {"SPICE_HOST_SUBJECT", "CN=vm7,O=Example"},
                               {"SPICE_DEBUG", "0"},
                               {"G_MESSAGES_DEBUG", "none"},
                               {"SPICE_XPI_NAMEDPIPE", "\\\\.\\pipe\\from-the-parent"},
                               {"SPICE_UNRELATED", "kept"}},
                              " --help /? ignored", directory);
    deleteClientKey();
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.messages(),
              (Messages{kInit, text(1, "vm7.example"), number(2, 5900), number(3, 5901),
                        text(4, "s3cret pass"), text(11, " Console \xC4\xE3 \x80\xFF "),
                        text(8, "C:\\certs\\ca.pem"), text(9, "CN=vm7,O=Example"), kShow,
                        kConnect}));

    const std::string pipe = "\\\\.\\pipe\\SpiceController-" + std::to_string(run.pid);
    EXPECT_EQ(run.environment("SPICE_XPI_NAMEDPIPE"), pipe);
    EXPECT_EQ(run.first("pipe_created").value("path", ""), pipe);
    EXPECT_EQ(run.environment("SPICE_DEBUG"), "1");
    EXPECT_EQ(run.environment("G_MESSAGES_DEBUG"), "all");
    EXPECT_EQ(run.environment("SPICE_UNRELATED"), "kept");
    EXPECT_EQ(run.environment("SPICE_PASSWORD"), "s3cret pass");

    const Json start = run.first("start");
    EXPECT_EQ(start.value("parent_pid", 0u), run.pid);
    EXPECT_EQ(lstrcmpiA(start.value("cwd", "").c_str(), directory), 0) << start.value("cwd", "");
    if (!probe::runningUnderWine()) { // Wine grants every pipe server impersonation
        EXPECT_EQ(run.first("impersonation").value("level", ""), "identification");
    }
}

} // namespace
