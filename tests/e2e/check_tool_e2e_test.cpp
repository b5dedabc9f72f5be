// corvane-r-check.exe end to end under Wine: the prefix's real registry, the
// stand-in as the client, and what the tool tells an admin.
#include "launch_driver.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace e2e;

enum class Value {
    StandIn,
    ExpandSz,
    None,
    TooLong,
    NoProgram,
    NotAProgram,
    Only64BitView,
    UnquotedWithSpaces,
    UnquotedSpacesNothingShorter,
    TabBeforeArguments,
};

struct CheckCase {
    const char* name;
    Value value;
    const char* standin; // the stand-in's options, where it is the client
    const char* options; // the tool's
    bool squatter;       // another process serves the pipe before the client
    DWORD exitCode;
    const char* line; // a line of the output starts with this
    const char* says; // and says this
};

// clang-format off
const CheckCase kCases[] = {
    // The stand-ins would stay: the tool ends them.
    {"ClientServesItsPipe", Value::StandIn, "--linger-ms 30000", "--start", false, 0, "ok    server: ",
     "client-standin.exe), the client itself: the launcher would send to it"},
    // Warnings alone leave the verdict a success.
    {"ExpandSzOnlyWarns", Value::ExpandSz, "", "", false, 0, "warn  registry: ",
     "stored as REG_EXPAND_SZ: the launcher does not expand %VARIABLES%"},
    {"UnquotedSpacesNothingShorter", Value::UnquotedSpacesNothingShorter, "", "", false, 0,
     "warn  program: ",
     "C:\\spaced path\\client.exe has spaces and is not quoted; Windows tries C:\\spaced (missing) first"},
    // CreateProcessA ends the program's name at a tab as at a space.
    {"TabBeforeArguments", Value::TabBeforeArguments, "", "", false, 0, "ok    program: ",
     "C:\\tabbed\\client.exe exists"},
    {"KeyMissing", Value::None, "", "", false, 1, "FAIL  registry: ", "spicex (32-bit view) does not exist"},
    {"ValueTooLong", Value::TooLong, "", "", false, 1, "FAIL  registry: ", "is 1025 bytes"},
    {"ProgramMissing", Value::NoProgram, "", "", false, 1, "FAIL  program: ",
     "Z:\\no\\such\\client.exe does not exist"},
    {"NotAProgram", Value::NotAProgram, "", "", false, 1, "FAIL  program: ",
     "C:\\not a program\\client.exe is not a Windows program"},
    {"ValueInTheOtherView", Value::Only64BitView, "", "", false, 1, "FAIL  registry: ",
     "the 64-bit view has the value"},
    {"UnquotedPathWithSpaces", Value::UnquotedWithSpaces, "", "", false, 1, "FAIL  program: ",
     "not quoted, so Windows runs C:\\corvane.exe rather than C:\\corvane check\\client.exe"},
    {"ServedFromTheClientsChild", Value::StandIn, "--serve-from-child --linger-ms 30000", "--start", false, 0,
     "ok    server: ", "a process the client started: the launcher would send to it"},
    // Ten attempts, each finding the squatter's pipe and none the client's.
    {"ServedByAnotherProcess", Value::StandIn, "--no-pipe", "--start", true, 1, "FAIL  server: ",
     "(check_tool_e2e_tests.exe), another process, not started by the client: the launcher "
     "refuses to send to it"},
};
// clang-format on

void createProgram(const char* path) { // one of ours, copied
    CopyFileA(checkToolUnderTest().c_str(), path, FALSE);
}

void store(const CheckCase& c) {
    deleteClientKey();
    const std::string standin = standinCommand(c.standin) + '\0';
    switch (c.value) {
    case Value::StandIn:
        return setClientValue(standin, REG_SZ);
    case Value::ExpandSz:
        return setClientValue(standin, REG_EXPAND_SZ);
    case Value::None:
        return;
    case Value::TooLong:
        return setClientValue(std::string(1025, 'x'), REG_BINARY);
    case Value::NoProgram:
        return setClientValue("Z:\\no\\such\\client.exe --x", REG_SZ);
    case Value::NotAProgram:
        CreateDirectoryA("C:\\not a program", nullptr);
        writeFile("C:\\not a program\\client.exe", "");
        return setClientValue("\"C:\\not a program\\client.exe\"", REG_SZ);
    case Value::Only64BitView:
        return setClientValue(standin, REG_SZ, KEY_WOW64_64KEY);
    case Value::UnquotedWithSpaces:
        // What Windows tries first exists too.
        CreateDirectoryA("C:\\corvane check", nullptr);
        createProgram("C:\\corvane check\\client.exe");
        createProgram("C:\\corvane.exe");
        return setClientValue("C:\\corvane check\\client.exe --x", REG_SZ);
    case Value::UnquotedSpacesNothingShorter:
        CreateDirectoryA("C:\\spaced path", nullptr);
        createProgram("C:\\spaced path\\client.exe");
        return setClientValue("C:\\spaced path\\client.exe --x", REG_SZ);
    case Value::TabBeforeArguments:
        CreateDirectoryA("C:\\tabbed", nullptr);
        createProgram("C:\\tabbed\\client.exe");
        return setClientValue("C:\\tabbed\\client.exe\t--option", REG_SZ);
    }
}

// The same findings as JSON lines, each line one object, the verdict last
// and agreeing with the exit status.
void expectJsonLines(const Launch& run, const CheckCase& c) {
    std::istringstream text(c.line);
    std::string level;
    std::string check;
    text >> level >> check;
    check.pop_back(); // its colon
    std::vector<Json> lines;
    std::istringstream output(run.output);
    for (std::string line; std::getline(output, line);) {
        lines.push_back(Json::parse(line, nullptr, false));
        ASSERT_TRUE(lines.back().is_object()) << line;
    }
    ASSERT_FALSE(lines.empty());
    const Json verdict = lines.back();
    EXPECT_EQ(verdict.value("event", ""), "verdict");
    EXPECT_EQ(verdict.value("exit", -1), static_cast<int>(run.exitCode));
    bool said = false;
    for (const Json& line : lines) {
        said = said || (line.value("event", "") == "finding" && line.value("level", "") == level &&
                        line.value("check", "") == check &&
                        line.value("text", "").find(c.says) != std::string::npos);
    }
    EXPECT_TRUE(said) << run.output;
}

class CheckTool : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckTool, TellsWhatALaunchWouldFind) {
    const CheckCase& c = GetParam();
    if (c.value == Value::Only64BitView && oneRegistryView()) {
        GTEST_SKIP() << "one registry view";
    }
    store(c);
    HANDLE squatter = INVALID_HANDLE_VALUE;
    const Launch run =
        launch({}, " " + std::string(c.options), "", checkToolUnderTest(), [&](DWORD toolId) {
            if (c.squatter) {
                squatter = CreateNamedPipeA(pipePathOf(toolId).c_str(), PIPE_ACCESS_DUPLEX,
                                            PIPE_TYPE_MESSAGE, 12, 0, 0, 0, nullptr);
            }
        });
    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    bool said = false;
    std::string last;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line); last = line) {
        said = said || (line.rfind(c.line, 0) == 0 && line.find(c.says) != std::string::npos);
    }
    EXPECT_TRUE(said) << run.output;
    const bool started = std::string(c.options).find("--start") != std::string::npos;
    EXPECT_EQ(last, c.exitCode != 0 ? "a launch would fail\r"
                    : started       ? "a launch would succeed\r"
                                    : "a launch would start the client (--start also checks its "
                                      "controller pipe)\r");
    if (c.squatter) {
        EXPECT_GE(run.endUs - run.startUs, 9950000); // all ten attempts
    }
    // The client it started, whichever process served the pipe, is ended.
    EXPECT_FALSE(stopIfRunning(run.first("start").value("pid", 0u)));
    CloseHandle(squatter);
    if (*c.options == '\0') { // what starts nothing is quick to ask twice
        const Launch json = launch({}, " --json", "", checkToolUnderTest());
        EXPECT_EQ(json.exitCode, c.exitCode) << json.output;
        expectJsonLines(json, c);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CheckTool, ::testing::ValuesIn(kCases),
                         [](const auto& c) { return std::string(c.param.name); });

// The handler's policy, reported after the client's checks, in --json too.
TEST(CheckTool, ReportsTheHandlersPolicy) {
    const struct {
        Json policy;
        DWORD exitCode;
        std::vector<std::string> lines; // each starts an output line
    } kPolicies[] = {
        {Json::object(), 0, {"warn  policy: no connection-file policy is set"}},
        {{{"machine", {{"TrustedPublishers", {std::string(64, 'a'), "AB:CD"}}}},
          {"user", {{"AllowedHosts", {"*.example.org"}}, {"TrustedPublishers", {"x"}}}}},
         3,
         {"ok    policy: TrustedPublishers is set per machine (HKLM): 2 thumbprints",
          "FAIL  policy: TrustedPublishers value 2, \"AB:CD\", is not a SHA-256 thumbprint",
          "ok    policy: AllowedHosts is set per user (HKCU): 1 host; files for any other host are "
          "refused",
          "a launch would start the client (--start also checks its controller pipe), but the "
          "connection-file policy is misconfigured (its FAIL lines)"}},
        {{{"user", {{"UnverifiedFiles", 0}}}},
         0,
         {"ok    policy: UnverifiedFiles is 0, set per user (HKCU): files nobody vouches for are "
          "refused"}},
        {{{"machine", {{"UnverifiedFiles", "0"}, {"AllowedHosts", {"vm7.example", 5, "x y"}}}}},
         3,
         {"ok    policy: UnverifiedFiles is \"0\", set per machine (HKLM): files nobody vouches "
          "for are refused",
          "ok    policy: AllowedHosts is set per machine (HKLM): 3 hosts",
          "FAIL  policy: AllowedHosts value 2 is not a string of at most 1023 characters",
          "FAIL  policy: AllowedHosts value 3, \"x y\", is not a host name, an IP address"}},
        {{{"machine", {{"UnverifiedFiles", 7}}}, {"user", {{"UnverifiedFiles", 2}}}},
         3,
         {"FAIL  policy: UnverifiedFiles is 7, set per machine (HKLM): not 0, 1 or 2"}},
        {{{"machine", {{"UnverifiedFiles", "yes"}, {"TrustedPublishers", Json::array()}}},
          {"user", {{"AllowedHosts", {5}}}}},
         3,
         {"FAIL  policy: UnverifiedFiles is \"yes\", set per machine (HKLM): not 0, 1 or 2",
          "FAIL  policy: TrustedPublishers is set per machine (HKLM) but holds no usable "
          "thumbprint: no publisher is trusted",
          "FAIL  policy: AllowedHosts is set per user (HKCU) but holds no usable host: every "
          "connection file is refused"}},
        {{{"machine", {{"UnverifiedFiles", true}}}},
         3,
         {"FAIL  policy: UnverifiedFiles is a REG_BINARY value, set per machine (HKLM)"}},
        {{{"machine",
           {{"AllowedHosts", {"vm7.example"}},
            {"UnverifiedFiles", 2},
            {"Unreadable", {"AllowedHosts", ""}}}},
          {"user", {{"AllowedHosts", {"vm7.example"}}}}},
         3,
         {"FAIL  policy: UnverifiedFiles is in a key that cannot be read (error 5), "
          "set per machine (HKLM): not 0, 1 or 2",
          "FAIL  policy: AllowedHosts is set per machine (HKLM) but its key cannot be read (error "
          "5): every connection file is refused"}},
    };
    setClientValue(standinCommand("") + '\0', REG_SZ);
    for (const auto& [policy, exitCode, lines] : kPolicies) {
        writePolicy(policy);
        const Launch run = launch({}, "", "", checkToolUnderTest());
        EXPECT_EQ(run.exitCode, exitCode) << run.output;
        for (const std::string& line : lines) {
            EXPECT_NE(run.output.find("\n" + line), std::string::npos) << line << "\n"
                                                                       << run.output;
        }
        const std::string json = launch({}, " --json", "", checkToolUnderTest()).output;
        EXPECT_NE(json.find(R"("check":"policy")"), std::string::npos) << json;
    }
    writePolicy(Json::object());
    deleteClientKey();
}

// Whether the handler's events reach Event Viewer in words: its source
// registered, naming a message file that exists.
TEST(CheckTool, ReportsTheEventSource) {
    const std::string reg = "C:\\windows\\system32\\reg.exe",
                      key = " \"HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\C"
                            "orvane Remote Console\"";
    const std::pair<const char*, const char*> kSources[] = {
        {nullptr, "warn  events: the event source \"Corvane Remote Console\" is not registered"},
        {"C:\\missing\\corvane-r-open.exe", "warn  events: the event source \"Corvane Remote "
                                            "Console\" names the message file \"C:\\missing\\"},
        {"%SystemRoot%\\system32\\kernel32.dll",
         "ok    events: the event source \"Corvane Remote Console\" is registered, its words in "
         "C:\\windows\\system32\\kernel32.dll"},
    };
    for (const auto& [file, line] : kSources) {
        launch({}, " delete" + key + " /f", "", reg);
        if (file != nullptr) {
            launch({}, " add" + key + " /v EventMessageFile /t REG_EXPAND_SZ /d " + file, "", reg);
        }
        const Launch run = launch({}, "", "", checkToolUnderTest());
        EXPECT_NE(run.output.find("\n" + std::string(line)), std::string::npos) << run.output;
    }
    launch({}, " delete" + key + " /f", "", reg);
}

} // namespace
