// corvane-r.exe end to end under Wine: the prefix's real registry, real
// processes and a real named pipe, with the stand-in client on the other end
// recording what arrives and when.
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

// How the client's command line is stored in the registry. A 32-bit
// client's installer writes the 32-bit view, which is all a 32-bit system
// has, and the only one the launcher may read: every row puts the value there
// unless it says otherwise, so on a 64-bit system each row shows that too.
struct Stored {
    DWORD type;                    // REG_NONE: no key at all
    std::size_t length;            // padded to exactly this many bytes, NUL included; 0: as it is
    bool nul;                      // stored with its terminating NUL
    const char* program = nullptr; // instead of the stand-in
    REGSAM view = 0;               // KEY_WOW64_64KEY: in the 64-bit view instead
    const char* also64 = nullptr;  // a command line the 64-bit view holds as well
};

constexpr Stored kString = {REG_SZ, 0, true};
constexpr char kNoSuchClient[] = "Z:\\no\\such\\client.exe";

struct Row {
    const char* name;
    std::string options; // the stand-in's, at the end of its command line
    Stored stored;
    Variables variables;    // what the portal gives the launcher
    DWORD exitCode;         // as the launcher's parent reads it; a client runs only for 0
    Messages messages;      // what the client receives
    int clientExit;         // the exit code the client reports
    long long minMs, maxMs; // the launcher's whole run
};

// Padding goes before the options: a launcher that dropped or added a byte
// of the value would change the exit code the stand-in reports.
void storeClient(const Row& row) {
    deleteClientKey();
    if (row.stored.also64 != nullptr) {
        setClientValue(row.stored.also64 + std::string(1, '\0'), REG_SZ, KEY_WOW64_64KEY);
    }
    if (row.stored.type == REG_NONE) {
        return;
    }
    std::string command = row.stored.program ? row.stored.program : standinCommand("");
    if (row.stored.length > 0) {
        command.resize(row.stored.length - row.options.size() - row.stored.nul, ' ');
    }
    command += row.options;
    setClientValue(row.stored.nul ? command + '\0' : command, row.stored.type, row.stored.view);
}

const Messages kBare = {kInit, kShow, kConnect};

// Upper bounds leave room for a slow, busy machine; the lower ones are the
// mandated waits: the pause after the pipe is found, and the client's own.
// clang-format off
const Row kRows[] = {
    {"PipeCreatedLate", "--pipe-delay-ms 1500", kString, {}, 0, kBare, 0, 2990, 7000},
    // The stand-in masks the password unless asked not to.
    {"ClientClosesItsEndEarly", "--close-after 4 --linger-ms 300", kString, {{"SPICE_HOST", "h"},
     {"SPICE_PORT", "1"}, {"SPICE_PASSWORD", "pw"}, {"SPICE_TITLE", "t"}}, 0,
     {kInit, text(1, "h"), number(2, 1), text(4, "**")}, 0, 990, 6000},
    // Waited for however long the user keeps the console open.
    {"ClientStaysOpenLong", "--linger-ms 8000", kString, {}, 0, kBare, 0, 8990, 14000},
    {"KeyMissing", "", {REG_NONE, 0, false}, {}, kFailed, {}, 0, 0, 3000},
    {"ValueLongerThanTheBuffer", "", {REG_BINARY, 1025, false}, {}, kFailed, {}, 0, 0, 3000},
    {"ClientNotStartable", "", {REG_SZ, 0, true, kNoSuchClient}, {}, kFailed, {}, 0, 0, 3000},
    // The client's exit code, even -1, is not passed on.
    {"FullSizeValueWithoutNul", " --linger-ms 700 --exit-code -1", {REG_BINARY, 1024, false}, {},
     0, kBare, -1, 1690, 7000},
    {"FullSizeExpandString", " --exit-code 42", {REG_EXPAND_SZ, 1024, true}, {}, 0, kBare, 42,
     990, 6000},
    // What a 64-bit installer writes is not the launcher's to read.
    {"OtherValueInThe64BitView", "", {REG_SZ, 0, true, nullptr, 0, kNoSuchClient}, {}, 0, kBare,
     0, 990, 6000},
    {"ValueOnlyInThe64BitView", "", {REG_SZ, 0, true, nullptr, KEY_WOW64_64KEY}, {}, kFailed, {},
     0, 0, 3000},
};
// clang-format on

class Launcher : public ::testing::TestWithParam<Row> {};

TEST_P(Launcher, ExitsAsTheRowSays) {
    const Row& row = GetParam();
    if ((row.stored.view != 0 || row.stored.also64 != nullptr) && oneRegistryView()) {
        GTEST_SKIP() << "one registry view";
    }
    storeClient(row);
    const Launch run = launch(row.variables);
    EXPECT_EQ(run.exitCode, row.exitCode);
    EXPECT_EQ(run.output, "");
    EXPECT_GE(ms(run.startUs, run.endUs), row.minMs);
    EXPECT_LE(ms(run.startUs, run.endUs), row.maxMs);
    if (row.exitCode != 0) {
        EXPECT_TRUE(run.transcript.empty());
        return;
    }
    EXPECT_EQ(run.messages(), row.messages);
    // Found at the first attempt after the pipe appeared, then the pause.
    const long long created = run.first("pipe_created").value("clock_us", 0LL);
    const long long connected = run.first("connected").value("clock_us", 0LL);
    EXPECT_LT(ms(created, connected), 1200);
    EXPECT_GE(ms(connected, run.first("message").value("clock_us", 0LL)), 990);
    // Ended right after the client, whatever the client's exit code.
    const Json exit = run.first("exit");
    EXPECT_EQ(exit.value("code", 12345), row.clientExit);
    EXPECT_GE(run.endUs, exit.value("clock_us", run.endUs + 1));
    EXPECT_LT(ms(exit.value("clock_us", 0LL), run.endUs), 1500);
}

INSTANTIATE_TEST_SUITE_P(Cases, Launcher, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

// A local process that creates the launcher's pipe before the client does,
// with as many instances as it likes: each of the launcher's attempts takes
// one that is listening, and is refused or sent to.
struct Squatter {
    std::vector<HANDLE> pipes;
    ~Squatter() {
        for (HANDLE pipe : pipes) {
            CloseHandle(pipe);
        }
    }

    // Attempts that reached it, and what they sent.
    int connections(std::string& received) const {
        int connected = 0;
        for (HANDLE pipe : pipes) {
            char buffer[65536];
            DWORD got = 0;
            SetLastError(ERROR_SUCCESS);
            while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &got, nullptr) && got > 0 &&
                   ReadFile(pipe, buffer, sizeof buffer, &got, nullptr)) {
                received.append(buffer, got);
            }
            connected += GetLastError() == ERROR_BROKEN_PIPE ? 1 : 0;
        }
        return connected;
    }
};

struct ServerCase {
    const char* name;
    DWORD squatterInstances; // created before the client starts; 0: no squatter
    DWORD maxInstances;      // as many: the client cannot create its own
    const char* options;     // the stand-in's
    bool checked;            // CORVANE_CHECK_PIPE_SERVER on
    DWORD exitCode;
    Messages client;
    std::string squatter;    // what the squatter receives
    int connections;         // the launcher's attempts that reached the squatter
    bool servedByDescendant; // the pipe comes from a process the client started
};

// clang-format off
const ServerCase kServers[] = {
    // The squatter's instance has listened longest: the first attempt reaches it.
    {"SquatterRefusedClientServed", 1, PIPE_UNLIMITED_INSTANCES, "", true, 0, kBare, "", 1, false},
    // The client cannot create its pipe: ten attempts a second apart, then -1.
    {"SquatterHoldsEveryInstance", 12, 12, "--linger-ms 30000", true, kFailed, {}, "", 10, false},
    // The client's program starts one that starts the one serving the pipe.
    {"ServedFromTheClientsGrandchild", 0, 0, "--serve-from-child --serve-from-child", true, 0,
     kBare, "", 0, true},
    {"CheckSwitchedOff", 1, PIPE_UNLIMITED_INSTANCES, "--no-pipe", false, 0, {},
     kInit + kShow + kConnect, 1, false},
};
// clang-format on

class PipeServer : public ::testing::TestWithParam<ServerCase> {};

TEST_P(PipeServer, OnlyTheClientOrItsDescendantsAreSent) {
    const ServerCase& c = GetParam();
    setClientValue(standinCommand(c.options) + '\0', REG_SZ);
    Squatter squatter;
    const Launch run = launch({}, "", "", launcherUnderTest(c.checked), [&](DWORD launcherId) {
        for (DWORD i = 0; i < c.squatterInstances; ++i) {
            squatter.pipes.push_back(CreateNamedPipeA(pipePathOf(launcherId).c_str(),
                                                      PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE,
                                                      c.maxInstances, 0, 65536, 0, nullptr));
        }
    });
    std::string received;
    const int connections = squatter.connections(received);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.messages(), c.client);
    EXPECT_EQ(received, c.squatter);
    // Wine's DeleteFileA opens the pipe it removes: with an instance still
    // listening, the launcher's removal of the path reaches the squatter too.
    const bool left = static_cast<int>(c.squatterInstances) > c.connections;
    EXPECT_EQ(connections, c.connections + (left && probe::runningUnderWine() ? 1 : 0));
    EXPECT_EQ(run.first("start").value("parent_pid", 0u) != run.pid, c.servedByDescendant);
    if (c.exitCode != 0) {
        EXPECT_GE(ms(run.startUs, run.endUs), 9950);
        EXPECT_LE(ms(run.startUs, run.endUs), 14000);
        // Given up on, the client is left running, holding none of the
        // launcher's handles.
        EXPECT_FALSE(run.handleOutlivedLauncher);
        EXPECT_TRUE(stopIfRunning(run.first("start").value("pid", 0u)));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, PipeServer, ::testing::ValuesIn(kServers),
                         [](const auto& c) { return std::string(c.param.name); });

// Everything a portal can give, and what the client is given in turn.
TEST(LauncherEnvironment, ForwardsEveryParameterAndAdvertisesThePipe) {
    setClientValue(standinCommand("--reveal-password") + '\0', REG_SZ);
    char directory[MAX_PATH] = {};
    GetTempPathA(sizeof directory, directory);
    directory[lstrlenA(directory) - 1] = '\0'; // as the client reads it: no trailing '\\'
    // clang-format off
    const Launch run = launch({{"SPICE_HOST", "vm7.example"}, {"SPICE_PORT", "5900"},
        {"SPICE_SPORT", " 5901tls"}, {"SPICE_PASSWORD", "s3cret pass"},
        {"SPICE_TITLE", " Console \xC4\xE3 \x80\xFF "}, {"SPICE_CA_FILE", "C:\\certs\\ca.pem"},
        {"SPICE_HOST_SUBJECT", "CN=vm7,O=Example"}, {"SPICE_DEBUG", "0"},
        {"G_MESSAGES_DEBUG", "none"}, {"SPICE_XPI_NAMEDPIPE", "\\\\.\\pipe\\from-the-parent"},
        {"SPICE_UNRELATED", "kept"}}, " --help /? ignored", directory);
    // clang-format on
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(
        run.messages(),
        (Messages{kInit, text(1, "vm7.example"), number(2, 5900), number(3, 5901),
                  text(4, "s3cret pass"), text(11, " Console \xC4\xE3 \x80\xFF "),
                  text(8, "C:\\certs\\ca.pem"), text(9, "CN=vm7,O=Example"), kShow, kConnect}));

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
