// The controller stream's bytes: each message on its own, then the whole
// conversation that a given environment produces, write by write.
#include "controller_conversation.h"
#include "wire.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace {

using namespace controller;
using namespace wire;
using Writes = std::vector<std::string>;

// Keeps each write apart, so that message boundaries are checked too.
struct RecordingSink {
    Writes writes;
    void write(const std::uint8_t* block, std::uint32_t length) {
        writes.emplace_back(reinterpret_cast<const char*>(block), length);
    }
};

struct EncodingCase {
    const char* name;
    void (*send)(RecordingSink&);
    Writes expected;
};

// The literal spellings pin down the layout that the conversation below,
// built on wire.h's spellings, shows for every message.
// clang-format off
const EncodingCase kEncodings[] = {
    {"DataAbc", [](RecordingSink& s) { sendData(s, 1, "abc"); },
     {std::string("\1\0\0\0\x0C\0\0\0abc\0", 12)}},
    {"DataStopsAtNul", [](RecordingSink& s) { sendData(s, 1, "ab\0cd"); }, {text(1, "ab")}},
    {"ValuePort80", [](RecordingSink& s) { sendValue(s, 2, 80); },
     {std::string("\2\0\0\0\x0C\0\0\0\x50\0\0\0", 12)}},
    {"ValueZeroStillWritten", [](RecordingSink& s) { sendValue(s, 3, 0); }, {number(3, 0)}},
};
// clang-format on

TEST(MessageEncoding, OneWriteWithTheExactBytes) {
    for (const EncodingCase& c : kEncodings) {
        RecordingSink sink;
        c.send(sink);
        EXPECT_EQ(sink.writes, c.expected) << c.name;
    }
}

const char* const kParameters[] = {"SPICE_HOST",        "SPICE_PORT",  "SPICE_SPORT",
                                   "SPICE_PASSWORD",    "SPICE_TITLE", "SPICE_CA_FILE",
                                   "SPICE_HOST_SUBJECT"};

void setVariable(const char* name, const char* value) {
#if defined(_WIN32)
    SetEnvironmentVariableA(name, value);
#else
    if (value == nullptr) {
        unsetenv(name);
    } else {
        setenv(name, value, 1);
    }
#endif
}

struct ConversationCase {
    const char* name;
    std::vector<std::pair<const char*, std::string>> variables;
    Writes between; // what comes between the opening record and show, connect
};

const std::string kLongest(1023, 'p');

// clang-format off
const ConversationCase kConversations[] = {
    {"NothingSet", {}, {}},
    {"EverythingInTableOrder", {{"SPICE_HOST_SUBJECT", "s"}, {"SPICE_CA_FILE", "c"},
      {"SPICE_TITLE", "T"}, {"SPICE_PASSWORD", "pw"}, {"SPICE_SPORT", "5901"},
      {"SPICE_PORT", "5900"}, {"SPICE_HOST", "h"}},
     {text(1, "h"), number(2, 5900), number(3, 5901), text(4, "pw"), text(11, "T"), text(8, "c"),
      text(9, "s")}},
    {"EmptyTextIsUnset", {{"SPICE_HOST", ""}, {"SPICE_PASSWORD", ""}}, {}},
    {"TextByteForByte", {{"SPICE_TITLE", "  \x80\xC4\xE3 console \xFF "}},
     {text(11, "  \x80\xC4\xE3 console \xFF ")}},
    {"PortsThatReadAsZero", {{"SPICE_PORT", "0x50"}, {"SPICE_SPORT", "abc"}}, {}},
    {"ZeroPortLeftOut", {{"SPICE_PORT", "0"}, {"SPICE_SPORT", ""}}, {}},
    {"PortsReadLikeStrtol", {{"SPICE_PORT", " 80"}, {"SPICE_SPORT", "80abc"}},
     {number(2, 80), number(3, 80)}},
    {"PortWhiteSpaceAndSigns", {{"SPICE_PORT", "\t\n\v\f\r +7"}, {"SPICE_SPORT", "+-5"}},
     {number(2, 7)}},
    {"NegativeAndHugePorts", {{"SPICE_PORT", "-5"}, {"SPICE_SPORT", "99999999999"}},
     {number(2, 0xFFFFFFFB), number(3, 0x7FFFFFFF)}},
    {"PortsClampedAtBothEnds", {{"SPICE_PORT", "-99999999999999999999"},
      {"SPICE_SPORT", "2147483648"}}, {number(2, 0x80000000), number(3, 0x7FFFFFFF)}},
    // The buffer holds 1023 bytes and the NUL; a longer value is left out,
    // never cut: a cut host or password would look valid to the client.
    {"LongestFitsLongerLeftOut", {{"SPICE_PASSWORD", kLongest},
      {"SPICE_HOST", std::string(1024, 'h')}, {"SPICE_CA_FILE", std::string(5000, 'c')},
      {"SPICE_PORT", "5900" + std::string(1100, ' ')}}, {text(4, kLongest)}},
};
// clang-format on

TEST(Conversation, WritesWhatTheEnvironmentHolds) {
    for (const ConversationCase& c : kConversations) {
        for (const char* name : kParameters) {
            setVariable(name, nullptr);
        }
        for (const auto& [name, value] : c.variables) {
            setVariable(name, value.c_str());
        }
        Writes expected = {kInit};
        expected.insert(expected.end(), c.between.begin(), c.between.end());
        expected.push_back(kShow);
        expected.push_back(kConnect);
        RecordingSink sink;
        forwardParameters(sink);
        EXPECT_EQ(sink.writes, expected) << c.name;
    }
}

} // namespace
