// corvane-r.exe end to end under Wine: the real registry of the test prefix,
// real processes and a real named pipe, with the stand-in client on the
// other end recording what arrives.
#include "launch_driver.h"
#include "transcript_reader.h"
#include "windows_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace testing_support;

constexpr DWORD kFailed = 0xFFFFFFFF; // -1 as a Windows parent reads it

const std::string kInit = "4354524c0100000018000000000000000000000001000000";
const std::string kShow = "1100000008000000";
const std::string kConnect = "1000000008000000";

std::string hexOf(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += digits[byte >> 4];
        hex += digits[byte & 0x0F];
    }
    return hex;
}

std::string le32(std::uint32_t value) {
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8) {
        bytes += static_cast<char>((value >> shift) & 0xFF);
    }
    return bytes;
}

std::string textMessage(std::uint32_t id, const std::string& text) {
    return hexOf(le32(id) + le32(static_cast<std::uint32_t>(text.size() + 9)) + text +
                 std::string(1, '\0'));
}

std::string numberMessage(std::uint32_t id, std::int32_t value) {
    return hexOf(le32(id) + le32(12) + le32(static_cast<std::uint32_t>(value)));
}

class LauncherEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = makeScratchDirectory("e2e");
        transcriptPath = scratch + "\\transcript.jsonl";
    }
    void TearDown() override { deleteClientKey(); }

    void registerStandin(const std::string& options) const {
        testing_support::registerStandin(transcriptPath, options);
    }

    Transcript transcript() const {
        Transcript read = readTranscript(transcriptPath);
        EXPECT_EQ(read.problem, "");
        return read;
    }

    std::string scratch;
    std::string transcriptPath;
};

TEST_F(LauncherEndToEnd, WithoutParametersSendsInitShowConnect) {
    registerStandin("");
    const LaunchOutcome outcome = runLauncher({});
    ASSERT_FALSE(outcome.timedOut);
    EXPECT_EQ(outcome.exitCode, 0u);
    EXPECT_EQ(outcome.output, "");
    EXPECT_EQ(transcript().messageBytes(), (std::vector<std::string>{kInit, kShow, kConnect}));
}

TEST_F(LauncherEndToEnd, EveryParameterArrivesInOrderAndTheClientSeesItsEnvironment) {
    registerStandin("");
    const std::string title = " Console \xC4\xE3\xBA\xC3 \x80\xFF ";
    LaunchRequest request;
    request.variables = {{"SPICE_HOST", "vm7.example"},
                         {"SPICE_PORT", "5900"},
                         {"SPICE_SPORT", " 5901tls"},
                         {"SPICE_PASSWORD", "s3cret pass"},
                         {"SPICE_TITLE", title},
                         {"SPICE_CA_FILE", "C:\\certs\\ca.pem"},
                         {"SPICE_HOST_SUBJECT", "CN=vm7,O=Example"},
                         {"SPICE_DEBUG", "0"},
                         {"G_MESSAGES_DEBUG", "none"},
                         {"SPICE_XPI_NAMEDPIPE", "\\\\.\\pipe\\from-the-parent"},
                         {"SPICE_UNRELATED", "kept"}};
    request.arguments = " --help /? ignored";
    request.directory = scratch;
    const LaunchOutcome outcome = runLauncher(request);
    ASSERT_FALSE(outcome.timedOut);
    EXPECT_EQ(outcome.exitCode, 0u);
    EXPECT_EQ(outcome.output, "");

    const Transcript read = transcript();
    EXPECT_EQ(read.messageBytes(), (std::vector<std::string>{
                                       kInit, textMessage(1, "vm7.example"), numberMessage(2, 5900),
                                       numberMessage(3, 5901), textMessage(4, "s3cret pass"),
                                       textMessage(11, title), textMessage(8, "C:\\certs\\ca.pem"),
                                       textMessage(9, "CN=vm7,O=Example"), kShow, kConnect}));

    const std::string pipePath = pipePathFor(outcome.pid);
    EXPECT_EQ(read.environment("SPICE_XPI_NAMEDPIPE"), pipePath);
    EXPECT_EQ(read.first("pipe_created").text("path"), pipePath);
    EXPECT_EQ(read.environment("SPICE_DEBUG"), "1");
    EXPECT_EQ(read.environment("G_MESSAGES_DEBUG"), "all");
    EXPECT_EQ(read.environment("SPICE_UNRELATED"), "kept");
    EXPECT_EQ(read.environment("SPICE_TITLE"), title);

    const TranscriptEvent start = read.first("start");
    EXPECT_EQ(start.number("parent_pid"), static_cast<long long>(outcome.pid));
    EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, start.text("cwd").c_str(), -1,
                             scratch.c_str(), -1),
              CSTR_EQUAL)
        << start.text("cwd");
}

// The launcher's first attempt comes right after it starts the client, then
// one every second: a pipe created at about 1.5 s is found at the third.
TEST_F(LauncherEndToEnd, LatePipeIsFoundAtTheNextAttempt) {
    registerStandin("--pipe-delay-ms 1500");
    const LaunchOutcome outcome = runLauncher({});
    EXPECT_EQ(outcome.exitCode, 0u);
    const Transcript read = transcript();
    const long long createdUs = read.first("pipe_created").number("clock_us");
    const long long connectedUs = read.first("connected").number("clock_us");
    EXPECT_LT((connectedUs - createdUs) / 1000, 1000);
    const long long openedAfterMs = (connectedUs - outcome.startUs) / 1000;
    EXPECT_GE(openedAfterMs, 1950);
    EXPECT_LT(openedAfterMs, 2800);
    // Then the pause that follows every attempt, before the first message.
    const long long pauseMs = (read.first("message").number("clock_us") - connectedUs) / 1000;
    EXPECT_GE(pauseMs, 990);
    EXPECT_LT(pauseMs, 1500);
    EXPECT_EQ(read.all("message").size(), 3u);
}

// What a server on the predictable pipe name gets from the launcher's token.
// Wine grants a pipe server the impersonation level whatever the client asks
// for, so only Windows itself can show the launcher's request taking effect.
TEST_F(LauncherEndToEnd, PipeServerCanOnlyIdentifyTheLauncher) {
    if (runningUnderWine()) {
        GTEST_SKIP() << "Wine does not apply a pipe client's impersonation level";
    }
    registerStandin("");
    EXPECT_EQ(runLauncher({}).exitCode, 0u);
    EXPECT_EQ(transcript().first("impersonation").text("level"), "identification");
}

class ClientExitCode : public LauncherEndToEnd, public ::testing::WithParamInterface<int> {};

TEST_P(ClientExitCode, LauncherExitsZeroRightAfterTheClient) {
    registerStandin("--linger-ms 700 --exit-code " + std::to_string(GetParam()));
    const LaunchOutcome outcome = runLauncher({});
    EXPECT_EQ(outcome.exitCode, 0u);
    const TranscriptEvent exit = transcript().first("exit");
    ASSERT_TRUE(exit.has("clock_us"));
    EXPECT_EQ(exit.number("code"), GetParam());
    EXPECT_GE(outcome.endUs, exit.number("clock_us"));
    EXPECT_LT((outcome.endUs - exit.number("clock_us")) / 1000, 1000);
}

INSTANTIATE_TEST_SUITE_P(AnyCode, ClientExitCode, ::testing::Values(0, 7, -1));

TEST_F(LauncherEndToEnd, ClientClosingMidConversationStillEndsWithZero) {
    registerStandin("--close-after 2 --linger-ms 300");
    LaunchRequest request;
    request.variables = {{"SPICE_HOST", "h"}, {"SPICE_PORT", "1"}, {"SPICE_PASSWORD", "p"}};
    const LaunchOutcome outcome = runLauncher(request);
    EXPECT_EQ(outcome.exitCode, 0u);
    const Transcript read = transcript();
    EXPECT_EQ(read.messageBytes(), (std::vector<std::string>{kInit, textMessage(1, "h")}));
    EXPECT_EQ(read.first("closed_early").number("after"), 2);
}

struct FailureCase {
    const char* name;
    void (*arrange)(const std::string& transcriptPath);
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class EarlyFailure : public LauncherEndToEnd, public ::testing::WithParamInterface<FailureCase> {};

// Each fails before any client runs: -1 at once, nothing printed.
TEST_P(EarlyFailure, ExitsMinusOneAtOnceWithoutAClient) {
    GetParam().arrange(transcriptPath);
    const LaunchOutcome outcome = runLauncher({});
    EXPECT_EQ(outcome.exitCode, kFailed);
    EXPECT_LT((outcome.endUs - outcome.startUs) / 1000, 3000);
    EXPECT_EQ(outcome.output, "");
    Sleep(200);
    EXPECT_FALSE(fileExists(transcriptPath));
}

INSTANTIATE_TEST_SUITE_P(
    FailureTable, EarlyFailure,
    ::testing::Values(FailureCase{"KeyMissing", [](const std::string&) { deleteClientKey(); }},
                      FailureCase{"ValueMissing",
                                  [](const std::string&) {
                                      setClientValue("x", REG_SZ);
                                      deleteClientValue();
                                  }},
                      // A launcher that cut the value short would run the stand-in.
                      FailureCase{"ValueLongerThanTheBuffer",
                                  [](const std::string& transcriptPath) {
                                      const std::string command =
                                          standinCommand(transcriptPath, "");
                                      setClientValue(command +
                                                         std::string(1025 - command.size(), ' '),
                                                     REG_BINARY);
                                  }},
                      FailureCase{"ClientNotStartable",
                                  [](const std::string&) {
                                      setClientValue(std::string("Z:\\no\\such\\client.exe") + '\0',
                                                     REG_SZ);
                                  }}),
    [](const ::testing::TestParamInfo<FailureCase>& param) { return param.param.name; });

// The one slow case: ten attempts a second apart, then -1, the client left
// running on its own.
TEST_F(LauncherEndToEnd, NoPipeGivesUpAfterTenAttemptsAndLeavesTheClient) {
    registerStandin("--no-pipe --linger-ms 20000");
    const LaunchOutcome outcome = runLauncher({});
    EXPECT_EQ(outcome.exitCode, kFailed);
    const long long elapsedMs = (outcome.endUs - outcome.startUs) / 1000;
    EXPECT_GE(elapsedMs, 9950);
    EXPECT_LT(elapsedMs, 11500);
    const TranscriptEvent start = transcript().first("start");
    ASSERT_TRUE(start.has("pid"));
    EXPECT_TRUE(stopIfRunning(static_cast<DWORD>(start.number("pid"))));
}

struct ValueForm {
    const char* name;
    DWORD type;
    std::size_t bytes; // stored length, terminator included where there is one
    bool terminated;
};

void PrintTo(const ValueForm& c, std::ostream* os) {
    *os << c.name;
}

class RegistryValueForm : public LauncherEndToEnd,
                          public ::testing::WithParamInterface<ValueForm> {};

// The command line's last characters select the stand-in's exit code, which
// it records: a launcher that dropped or added a byte would change it.
TEST_P(RegistryValueForm, RunsTheCommandLineExactlyAsStored) {
    const ValueForm form = GetParam();
    const std::string tail = " --exit-code 42";
    std::string command = standinCommand(transcriptPath, "");
    const std::size_t textLength = form.terminated ? form.bytes - 1 : form.bytes;
    command += std::string(textLength - command.size() - tail.size(), ' ') + tail;
    ASSERT_EQ(command.size(), textLength);
    setClientValue(form.terminated ? command + std::string(1, '\0') : command, form.type);

    const LaunchOutcome outcome = runLauncher({});
    EXPECT_EQ(outcome.exitCode, 0u);
    const Transcript read = transcript();
    EXPECT_EQ(read.all("message").size(), 3u);
    EXPECT_EQ(read.first("exit").number("code"), 42);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, RegistryValueForm,
    ::testing::Values(ValueForm{"FullSizeWithoutTerminator", REG_BINARY, 1024, false},
                      ValueForm{"FullSizeString", REG_SZ, 1024, true},
                      ValueForm{"ShortExpandString", REG_EXPAND_SZ, 300, true}),
    [](const ::testing::TestParamInfo<ValueForm>& param) { return param.param.name; });

} // namespace
