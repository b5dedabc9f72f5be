#include "controller_messages.h"
#include "recording_sink.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using controller::sendData;
using controller::sendInit;
using controller::sendMessage;
using controller::sendValue;
using testing_support::Bytes;
using testing_support::hex;
using testing_support::RecordingSink;

struct EncodingCase {
    const char* name;
    std::function<void(RecordingSink&)> send;
    const char* expected;
};

void PrintTo(const EncodingCase& c, std::ostream* os) {
    *os << c.name;
}

class MessageEncoding : public ::testing::TestWithParam<EncodingCase> {};

// Each operation makes exactly one write holding exactly these bytes.
TEST_P(MessageEncoding, WritesOneBlockWithTheExactBytes) {
    RecordingSink sink;
    GetParam().send(sink);
    ASSERT_EQ(sink.blocks.size(), 1u);
    EXPECT_EQ(sink.blocks[0], hex(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    WireFormat, MessageEncoding,
    ::testing::Values(
        EncodingCase{"Init", [](RecordingSink& s) { sendInit(s); },
                     "4354524C 01000000 18000000 0000000000000000 01000000"},
        EncodingCase{"DataAbc", [](RecordingSink& s) { sendData(s, 1, "abc"); },
                     "01000000 0C000000 616263 00"},
        EncodingCase{"DataOneByte", [](RecordingSink& s) { sendData(s, 4, "x"); },
                     "04000000 0A000000 78 00"},
        EncodingCase{"ValuePort80", [](RecordingSink& s) { sendValue(s, 2, 80); },
                     "02000000 0C000000 50000000"},
        EncodingCase{"ValueMinusOne", [](RecordingSink& s) { sendValue(s, 2, -1); },
                     "02000000 0C000000 FFFFFFFF"},
        EncodingCase{"ValueZeroIsStillWritten", [](RecordingSink& s) { sendValue(s, 3, 0); },
                     "03000000 0C000000 00000000"},
        EncodingCase{"ValueAllBytesDistinct", [](RecordingSink& s) { sendValue(s, 3, 0x12345678); },
                     "03000000 0C000000 78563412"},
        EncodingCase{"Show", [](RecordingSink& s) { sendMessage(s, 17); }, "11000000 08000000"},
        EncodingCase{"Connect", [](RecordingSink& s) { sendMessage(s, 16); }, "10000000 08000000"},
        EncodingCase{"IdAboveOneByte", [](RecordingSink& s) { sendMessage(s, 0x01020304); },
                     "04030201 08000000"}),
    [](const ::testing::TestParamInfo<EncodingCase>& param) { return param.param.name; });

TEST(SendData, EmptyTextMakesNoWrite) {
    RecordingSink sink;
    sendData(sink, 1, "");
    EXPECT_TRUE(sink.blocks.empty());
}

TEST(SendData, CopiesTextBytesUnchanged) {
    // Spaces at both ends and bytes above 0x7F: no trimming, no conversion.
    const std::string text = " \x80\xE9\xFF tail ";
    RecordingSink sink;
    sendData(sink, 11, text.c_str());
    ASSERT_EQ(sink.blocks.size(), 1u);
    const Bytes& block = sink.blocks[0];
    ASSERT_EQ(block.size(), text.size() + 9);
    EXPECT_EQ(block[4], text.size() + 9);
    EXPECT_EQ(Bytes(block.begin() + 8, block.end() - 1), Bytes(text.begin(), text.end()));
    EXPECT_EQ(block.back(), 0);
}

TEST(SendData, StopsAtTheFirstNul) {
    RecordingSink sink;
    sendData(sink, 1, "ab\0cd");
    ASSERT_EQ(sink.blocks.size(), 1u);
    EXPECT_EQ(sink.blocks[0], hex("01000000 0B000000 6162 00"));
}

TEST(SendData, LongTextSizeUsesAllFourBytes) {
    const std::string text(70000, 'h'); // 70009 = 0x00011179
    RecordingSink sink;
    sendData(sink, 9, text.c_str());
    ASSERT_EQ(sink.blocks.size(), 1u);
    EXPECT_EQ(Bytes(sink.blocks[0].begin(), sink.blocks[0].begin() + 8), hex("09000000 79110100"));
    EXPECT_EQ(sink.blocks[0].size(), 70009u);
}

} // namespace
