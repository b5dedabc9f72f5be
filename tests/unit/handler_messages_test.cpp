// The handler's message table: every text in every language, the Traditional
// one as Taiwan writes it. Which language a user gets the box test shows.
#include "messages.h"

#include <gtest/gtest.h>

namespace {

TEST(HandlerMessages, EveryTextInEveryLanguage) {
    // Characters only Simplified Chinese writes, and words Taiwan says
    // otherwise (檔案, 程式, 資訊, 連接埠): either in the Traditional
    // column is a converted text, or a Simplified one.
    const std::wstring kSimplifiedOnly = L"连这请为无门发开该时个们网关启动码错误长于链损编员类数间"
                                         L"号现两应从复题读删执资证书机构颁储确驱径许户对显协议";
    const wchar_t* const kMainlandWords[] = {L"文件", L"程序", L"信息", L"端口", L"链接"};
    const auto texts = handler::everyText();
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::wstring english = texts[i].english;
        const std::wstring simplified = texts[i].simplified;
        const std::wstring traditional = texts[i].traditional;
        EXPECT_FALSE(english.empty()) << "text " << i;
        EXPECT_NE(simplified, english) << "text " << i << ": no Simplified Chinese";
        EXPECT_NE(traditional, english) << "text " << i << ": no Traditional Chinese";
        EXPECT_EQ(traditional.find_first_of(kSimplifiedOnly), std::wstring::npos)
            << "text " << i << ": a Simplified character in the Traditional column";
        for (const wchar_t* word : kMainlandWords) {
            EXPECT_EQ(traditional.find(word), std::wstring::npos) << "text " << i;
        }
    }
}

// Where the check tool is installed (the box rows show where it is not).
TEST(HandlerMessages, CheckToolAdvice) {
    const std::wstring message = handler::launchFailedMessage(
        handler::Language::English, handler::LaunchProblem::NoPipe, L"", true);
    EXPECT_NE(message.find(L"tools\\corvane-r-check.exe --start"), std::wstring::npos);
}

} // namespace
