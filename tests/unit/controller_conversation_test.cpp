#include "controller_conversation.h"
#include "recording_sink.h"
#include "test_environment.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using controller::forwardParameters;
using controller::parseDecimal;
using testing_support::Bytes;
using testing_support::hex;
using testing_support::ParameterEnvironment;
using testing_support::RecordingSink;
using testing_support::setVariable;

struct ParseCase {
    const char* text;
    std::int32_t expected;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class ParseDecimal : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseDecimal, FollowsStrtolClampedToInt32) {
    EXPECT_EQ(parseDecimal(GetParam().text), GetParam().expected) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ParseDecimal,
    ::testing::Values(
        ParseCase{"", 0}, ParseCase{"0", 0}, ParseCase{"80", 80}, ParseCase{" 80", 80},
        ParseCase{"\t\n\v\f\r 5900", 5900}, ParseCase{"80abc", 80}, ParseCase{"abc", 0},
        ParseCase{"0x50", 0}, ParseCase{"-5", -5}, ParseCase{"+7", 7}, ParseCase{"+-5", 0},
        ParseCase{"- 5", 0}, ParseCase{"-", 0}, ParseCase{"5 6", 5},
        ParseCase{"000000000000000000000000080", 80}, ParseCase{"2147483647", INT32_MAX},
        ParseCase{"2147483648", INT32_MAX}, ParseCase{"99999999999", INT32_MAX},
        ParseCase{"99999999999999999999999999", INT32_MAX}, ParseCase{"-2147483648", INT32_MIN},
        ParseCase{"-2147483649", INT32_MIN}, ParseCase{"-99999999999999999999999999", INT32_MIN},
        ParseCase{"\xA0"
                  "80",
                  0}));

using Conversation = ParameterEnvironment;

std::vector<std::uint32_t> idsOf(const RecordingSink& sink) {
    std::vector<std::uint32_t> ids;
    for (const Bytes& block : sink.blocks) {
        const bool init = block.size() == 24 && block[0] == 'C' && block[1] == 'T';
        ids.push_back(init ? 0u : static_cast<std::uint32_t>(block[0] | block[1] << 8));
    }
    return ids;
}

TEST_F(Conversation, NothingSetGivesInitShowConnect) {
    RecordingSink sink;
    forwardParameters(sink);
    ASSERT_EQ(sink.blocks.size(), 3u);
    EXPECT_EQ(sink.concatenated(), hex("4354524C 01000000 18000000 0000000000000000 01000000"
                                       "11000000 08000000 10000000 08000000"));
    EXPECT_EQ(sink.blocks[0].size(), 24u);
}

TEST_F(Conversation, EverythingSetFollowsTableOrderByteForByte) {
    setVariable("SPICE_HOST", "h");
    setVariable("SPICE_PORT", "5900");
    setVariable("SPICE_SPORT", "5901");
    setVariable("SPICE_PASSWORD", "pw");
    setVariable("SPICE_TITLE", "T");
    setVariable("SPICE_CA_FILE", "c");
    setVariable("SPICE_HOST_SUBJECT", "s");
    RecordingSink sink;
    forwardParameters(sink);
    EXPECT_EQ(idsOf(sink), (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 11, 8, 9, 17, 16}));
    EXPECT_EQ(sink.concatenated(), hex("4354524C 01000000 18000000 0000000000000000 01000000"
                                       "01000000 0A000000 68 00"
                                       "02000000 0C000000 0C170000"
                                       "03000000 0C000000 0D170000"
                                       "04000000 0B000000 7077 00"
                                       "0B000000 0A000000 54 00"
                                       "08000000 0A000000 63 00"
                                       "09000000 0A000000 73 00"
                                       "11000000 08000000 10000000 08000000"));
}

struct PortCase {
    const char* name;
    const char* value; // nullptr: unset
    bool sent;
    const char* valueBytes;
};

void PrintTo(const PortCase& c, std::ostream* os) {
    *os << c.name;
}

class PortForwarding : public ParameterEnvironment,
                       public ::testing::WithParamInterface<PortCase> {};

TEST_P(PortForwarding, SendsOnlyNonZeroNumbers) {
    for (const char* variable : {"SPICE_PORT", "SPICE_SPORT"}) {
        clearParameters();
        if (GetParam().value != nullptr) {
            setVariable(variable, GetParam().value);
        }
        RecordingSink sink;
        forwardParameters(sink);
        if (!GetParam().sent) {
            EXPECT_EQ(sink.blocks.size(), 3u) << variable;
            continue;
        }
        ASSERT_EQ(sink.blocks.size(), 4u) << variable;
        const std::uint8_t id = variable[6] == 'P' ? 2 : 3;
        Bytes expected = {id, 0, 0, 0, 12, 0, 0, 0};
        const Bytes value = hex(GetParam().valueBytes);
        expected.insert(expected.end(), value.begin(), value.end());
        EXPECT_EQ(sink.blocks[1], expected) << variable;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, PortForwarding,
    ::testing::Values(PortCase{"Unset", nullptr, false, ""}, PortCase{"Empty", "", false, ""},
                      PortCase{"Zero", "0", false, ""}, PortCase{"Letters", "abc", false, ""},
                      PortCase{"Hex", "0x50", false, ""},
                      PortCase{"LeadingSpace", " 80", true, "50000000"},
                      PortCase{"TrailingLetters", "80abc", true, "50000000"},
                      PortCase{"Negative", "-5", true, "FBFFFFFF"},
                      PortCase{"ElevenNines", "99999999999", true, "FFFFFF7F"}),
    [](const ::testing::TestParamInfo<PortCase>& param) { return param.param.name; });

TEST_F(Conversation, EmptyTextBehavesAsUnset) {
    setVariable("SPICE_HOST", "");
    setVariable("SPICE_PASSWORD", "");
    RecordingSink sink;
    forwardParameters(sink);
    EXPECT_EQ(idsOf(sink), (std::vector<std::uint32_t>{0, 17, 16}));
}

TEST_F(Conversation, TextIsForwardedByteForByte) {
    const std::string title = "  \x80\xC4\xE3\xBA\xC3 console \xFF ";
    setVariable("SPICE_TITLE", title);
    RecordingSink sink;
    forwardParameters(sink);
    ASSERT_EQ(sink.blocks.size(), 4u);
    const Bytes& block = sink.blocks[1];
    EXPECT_EQ(block[0], 11);
    EXPECT_EQ(std::string(block.begin() + 8, block.end() - 1), title);
}

// 1023 bytes is the longest value the 1024-byte buffer holds; one more and
// the value is left out entirely, never cut.
TEST_F(Conversation, LongestValueFitsAndLongerIsLeftOut) {
    const std::string fits(1023, 'p');
    setVariable("SPICE_PASSWORD", fits);
    setVariable("SPICE_HOST", std::string(1024, 'h'));
    setVariable("SPICE_CA_FILE", std::string(5000, 'c'));
    RecordingSink sink;
    forwardParameters(sink);
    EXPECT_EQ(idsOf(sink), (std::vector<std::uint32_t>{0, 4, 17, 16}));
    ASSERT_EQ(sink.blocks[1].size(), 1023u + 9u);
    EXPECT_EQ(std::string(sink.blocks[1].begin() + 8, sink.blocks[1].end() - 1), fits);
}

TEST_F(Conversation, OverlongPortIsLeftOutNotParsedFromAPrefix) {
    setVariable("SPICE_PORT", "5900" + std::string(1100, ' '));
    RecordingSink sink;
    forwardParameters(sink);
    EXPECT_EQ(idsOf(sink), (std::vector<std::uint32_t>{0, 17, 16}));
}

} // namespace
