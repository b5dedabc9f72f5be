#include "messages.h"

#include <string>

namespace handler {

namespace {

// Why a file was refused, by Refusal; a member's name goes before the
// reasons that start with a verb.
struct Reason {
    Refusal refusal;
    bool aboutMember;
    Text text;
};

// The Traditional column is written as users in Taiwan read it (連線,
// 檔案, 程式, 用戶端, 主控台), not converted from the Simplified one.
// clang-format off
const Reason kReasons[] = {
    {Refusal::NotJson, false, {L"it is not a connection file (not JSON text)",
                               L"它不是连接文件（不是 JSON 文本）",
                               L"這不是連線檔案（不是 JSON 文字）"}},
    {Refusal::NotObject, false, {L"it is not a connection file (not a JSON object)",
                                 L"它不是连接文件（不是 JSON 对象）",
                                 L"這不是連線檔案（不是 JSON 物件）"}},
    {Refusal::TooLarge, false, {L"it is larger than 64 KiB", L"它大于 64 KiB", L"檔案大於 64 KiB"}},
    {Refusal::BadLink, false, {L"the link is damaged (not base64url)",
                               L"链接已损坏（不是 base64url 编码）",
                               L"連結已損毀（不是 base64url 編碼）"}},
    {Refusal::UnknownMember, true, {L"is not a member of a connection file",
                                    L"不是连接文件的成员", L"不是連線檔案的成員"}},
    {Refusal::Duplicate, true, {L"is given twice", L"出现了两次", L"出現了兩次"}},
    {Refusal::WrongType, true, {L"has the wrong type", L"类型错误", L"類型錯誤"}},
    {Refusal::NotInteger, true, {L"is not a whole number", L"不是整数", L"不是整數"}},
    {Refusal::PortRange, true, {L"is not a port number from 1 to 65535",
                                L"不是 1 到 65535 之间的端口号",
                                L"不是 1 到 65535 之間的連接埠號碼"}},
    {Refusal::WrongVersion, true, {L"is not 1: the file was made for a newer version of this program",
                                   L"不是 1：该文件是为更新版本的程序生成的",
                                   L"不是 1：此檔案是為較新版本的程式所產生"}},
    {Refusal::VersionBelowOne, true, {L"is not 1: versions of the connection file start at 1",
                                      L"不是 1：连接文件的版本从 1 开始",
                                      L"不是 1：連線檔案的版本從 1 開始"}},
    {Refusal::Missing, true, {L"is missing", L"缺失", L"未提供"}},
    {Refusal::Empty, true, {L"is empty", L"为空", L"是空的"}},
    {Refusal::NoPort, false, {L"it gives neither \"port\" nor \"securePort\"",
                              L"其中既没有 \"port\" 也没有 \"securePort\"",
                              L"其中既沒有 \"port\" 也沒有 \"securePort\""}},
    {Refusal::BothCa, false, {L"it gives both \"ca\" and \"caFile\"; one of them is enough",
                              L"其中同时有 \"ca\" 和 \"caFile\"，只能有一个",
                              L"其中同時有 \"ca\" 和 \"caFile\"，只能有一個"}},
    {Refusal::HoldsNul, true, {L"holds the character U+0000", L"包含字符 U+0000",
                               L"包含字元 U+0000"}},
    {Refusal::NotInCodePage, true, {L"holds characters this Windows cannot pass on (its ANSI code page lacks them)",
                                    L"包含此 Windows 无法传递的字符（其 ANSI 代码页中没有这些字符）",
                                    L"包含這個 Windows 無法傳遞的字元（其 ANSI 字碼頁中沒有這些字元）"}},
    {Refusal::TooLong, true, {L"is 1024 bytes or longer", L"长度达到或超过 1024 字节",
                              L"長度達到或超過 1024 位元組"}},
    {Refusal::NotLocalPath, true, {L"is not a full path that starts with a drive letter, such as C:\\certs\\ca.pem (a network path is not allowed)",
                                   L"不是以驱动器号开头的完整路径（例如 C:\\certs\\ca.pem），不允许使用网络路径",
                                   L"不是以磁碟機代號開頭的完整路徑（例如 C:\\certs\\ca.pem），不允許使用網路路徑"}},
};

enum class Say {
    FileRefused, LinkRefused, Member, AskAgain, Unreadable, CaNotWritten, TryAgain, NoLauncher,
    Reinstall, Error, Stop, NotDeleted, DeleteYourself, Usage,
    NotInstalled, ProgramMissing, NotStarted, NoPipe, ForAdministrator, NoPipeFinding, CheckTool,
    Count
};

struct Phrase {
    Say say;
    Text text;
};

const Phrase kPhrases[] = {
    {Say::FileRefused, {L"This connection file cannot be used: ", L"无法使用此连接文件：",
                        L"無法使用這個連線檔案："}},
    {Say::LinkRefused, {L"This console link cannot be used: ", L"无法使用此控制台链接：",
                        L"無法使用這個主控台連結："}},
    {Say::Member, {L"the member \"", L"成员 \"", L"成員 \""}},
    {Say::AskAgain, {L"Open the console from the portal again. If this keeps happening, tell the portal's administrator.",
                     L"请从门户重新打开控制台。如果问题反复出现，请告诉门户管理员。",
                     L"請從入口網站重新開啟主控台。如果問題一再發生，請告知入口網站的管理員。"}},
    {Say::Unreadable, {L"The connection file cannot be read: error ", L"无法读取连接文件：错误 ",
                       L"無法讀取連線檔案：錯誤 "}},
    {Say::CaNotWritten, {L"The certificate authority that came with the connection file could not be saved for the SPICE client: error ",
                         L"无法为 SPICE 客户端保存连接文件附带的证书颁发机构：错误 ",
                         L"無法為 SPICE 用戶端儲存連線檔案所附的憑證授權單位：錯誤 "}},
    {Say::TryAgain, {L"Try again. If this keeps happening, tell your IT administrator.",
                     L"请重试。如果问题反复出现，请告诉 IT 管理员。",
                     L"請再試一次。如果問題一再發生，請告知 IT 管理員。"}},
    {Say::NoLauncher, {L"The console launcher cannot be started: ", L"无法启动控制台启动程序：",
                       L"無法啟動主控台啟動程式："}},
    {Say::Reinstall, {L"Reinstall ", L"请重新安装 ", L"請重新安裝 "}},
    {Say::Error, {L": error ", L"：错误 ", L"：錯誤 "}},
    {Say::Stop, {L".", L"。", L"。"}},
    {Say::NotDeleted, {L"The connection file holds a password and could not be deleted (error ",
                       L"此连接文件包含密码，但无法删除（错误 ",
                       L"這個連線檔案含有密碼，但無法刪除（錯誤 "}},
    {Say::DeleteYourself, {L"). Delete it yourself: ", L"）。请自行删除：", L"）。請自行刪除："}},
    {Say::Usage, {L"Usage: corvane-r-open.exe [--quiet] FILE.corvane\n       corvane-r-open.exe [--quiet] corvane-console:LINK\n\nOpens a console from a connection file or link that a portal gave you.",
                  L"用法：corvane-r-open.exe [--quiet] 文件.corvane\n      corvane-r-open.exe [--quiet] corvane-console:链接\n\n从门户提供的连接文件或链接打开控制台。",
                  L"用法：corvane-r-open.exe [--quiet] 檔案.corvane\n      corvane-r-open.exe [--quiet] corvane-console:連結\n\n從入口網站提供的連線檔案或連結開啟主控台。"}},
    // A failed launch: why, and whom to ask, first; then the administrator's part.
    {Say::NotInstalled, {L"The console could not be opened: the SPICE client is not installed on this computer. Ask your IT administrator to install it.",
                         L"无法打开控制台：此计算机上没有安装 SPICE 客户端。请联系 IT 管理员安装。",
                         L"無法開啟主控台：這部電腦沒有安裝 SPICE 用戶端。請洽詢 IT 管理員安裝。"}},
    {Say::ProgramMissing, {L"The console could not be opened: the SPICE client's program is not where it was installed. Ask your IT administrator to reinstall the client.",
                           L"无法打开控制台：SPICE 客户端的程序不在其安装位置。请联系 IT 管理员重新安装客户端。",
                           L"無法開啟主控台：SPICE 用戶端的程式不在安裝位置。請洽詢 IT 管理員重新安裝用戶端。"}},
    {Say::NotStarted, {L"The console could not be opened: Windows would not start the SPICE client. Ask your IT administrator to check its installation.",
                       L"无法打开控制台：Windows 无法启动 SPICE 客户端。请联系 IT 管理员检查其安装。",
                       L"無法開啟主控台：Windows 無法啟動 SPICE 用戶端。請洽詢 IT 管理員檢查安裝。"}},
    {Say::NoPipe, {L"The console could not be opened: the SPICE client started but did not answer within ten seconds. Another copy of it may be running: close it and try again.",
                   L"无法打开控制台：SPICE 客户端已启动，但在十秒内没有响应。可能有另一个客户端正在运行：请将其关闭后重试。",
                   L"無法開啟主控台：SPICE 用戶端已啟動，但十秒內沒有回應。可能有另一個用戶端正在執行：請將它關閉後再試一次。"}},
    {Say::ForAdministrator, {L"For your IT administrator:", L"供 IT 管理员参考：", L"給 IT 管理員："}},
    {Say::NoPipeFinding, {L"The client's registration and program are in order; the client did not open its controller pipe within ten seconds.",
                          L"客户端的注册和程序均正常；客户端没有在十秒内打开其控制管道。",
                          L"用戶端的登錄和程式都正常；用戶端沒有在十秒內開啟其控制管道。"}},
    {Say::CheckTool, {L"tools\\corvane-r-check.exe --start, in the program's folder, shows more.",
                      L"在程序文件夹中运行 tools\\corvane-r-check.exe --start 可显示更多信息。",
                      L"在程式資料夾中執行 tools\\corvane-r-check.exe --start 可顯示更多資訊。"}},
};
// clang-format on

const wchar_t* pick(Language language, const Text& text) {
    return language == Language::Traditional  ? text.traditional
           : language == Language::Simplified ? text.simplified
                                              : text.english;
}

const Text kNone = {L"", L"", L""};

const Text& textOf(Say say) {
    for (const Phrase& phrase : kPhrases) {
        if (phrase.say == say) {
            return phrase.text;
        }
    }
    return kNone;
}

std::wstring in(Language language, Say say) {
    return pick(language, textOf(say));
}

std::wstring number(unsigned long value) {
    return std::to_wstring(value);
}

constexpr std::size_t kShownNameLength = 32;

// A member's name is short ASCII whenever it is one of ours. Any other comes
// from whoever wrote the file, so it must not be able to write the box's
// text: its first 32 characters, each one that is not printable ASCII, and
// the quote that would end it, shown as '?', and an ellipsis after a cut.
std::wstring memberName(const std::string& name) {
    std::wstring shown;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 && (byte & 0xC0) == 0x80) {
            continue;
        }
        if (shown.size() == kShownNameLength) {
            return shown + L"\u2026";
        }
        shown += byte >= 0x20 && byte < 0x7F && byte != '"' ? static_cast<wchar_t>(byte) : L'?';
    }
    return shown;
}

// The check's findings, one a line, each ended as a sentence.
std::wstring asSentences(const std::wstring& findings) {
    std::wstring sentences;
    std::size_t from = 0;
    while (from < findings.size()) {
        std::size_t end = findings.find(L'\n', from);
        end = end == std::wstring::npos ? findings.size() : end;
        std::wstring line = findings.substr(from, end - from);
        if (!line.empty()) {
            const wchar_t last = line.back();
            sentences += line + (last == L'.' || last == L'!' || last == L'?' ? L"\n" : L".\n");
        }
        from = end + 1;
    }
    return sentences;
}

} // namespace

Language userLanguage(unsigned short uiLanguage) {
    constexpr unsigned short kChinesePrimary = 0x04; // LANG_CHINESE
    if ((uiLanguage & 0x3FF) != kChinesePrimary) {
        return Language::English;
    }
    // zh-TW, zh-HK and zh-MO write Traditional characters.
    const bool traditional = uiLanguage == 0x0404 || uiLanguage == 0x0C04 || uiLanguage == 0x1404;
    return traditional ? Language::Traditional : Language::Simplified;
}

std::wstring refusalMessage(Language language, bool link, const Verdict& verdict) {
    std::wstring message = in(language, link ? Say::LinkRefused : Say::FileRefused);
    for (const Reason& reason : kReasons) {
        if (reason.refusal == verdict.refusal) {
            if (reason.aboutMember) {
                message += in(language, Say::Member) + memberName(verdict.member) + L"\" ";
            }
            message += pick(language, reason.text);
        }
    }
    return message + in(language, Say::Stop) + L"\n\n" + in(language, Say::AskAgain);
}

std::wstring unreadableMessage(Language language, unsigned long error) {
    return in(language, Say::Unreadable) + number(error) + in(language, Say::Stop) + L"\n\n" +
           in(language, Say::AskAgain);
}

std::wstring caNotWrittenMessage(Language language, unsigned long error) {
    return in(language, Say::CaNotWritten) + number(error) + in(language, Say::Stop) + L"\n\n" +
           in(language, Say::TryAgain);
}

std::wstring launchFailedMessage(Language language, LaunchProblem problem,
                                 const std::wstring& findings, bool checkTool) {
    const Say kWhy[] = {Say::NoPipe, Say::NotInstalled, Say::ProgramMissing, Say::NotStarted};
    return in(language, kWhy[static_cast<int>(problem)]) + L"\n\n" +
           in(language, Say::ForAdministrator) + L"\n" +
           (problem == LaunchProblem::NoPipe ? in(language, Say::NoPipeFinding) + L"\n"
                                             : asSentences(findings)) +
           (checkTool ? in(language, Say::CheckTool) : L"");
}

std::wstring launcherMissingMessage(Language language, const std::wstring& launcher,
                                    unsigned long error) {
    return in(language, Say::NoLauncher) + launcher + in(language, Say::Error) + number(error) +
           in(language, Say::Stop) + L"\n\n" + in(language, Say::Reinstall) + kCaption +
           in(language, Say::Stop);
}

std::wstring notDeletedMessage(Language language, const std::wstring& path, unsigned long error) {
    return in(language, Say::NotDeleted) + number(error) + in(language, Say::DeleteYourself) + path;
}

std::wstring usageMessage(Language language) {
    return in(language, Say::Usage);
}

std::vector<Text> everyText() {
    std::vector<Text> texts;
    texts.reserve(static_cast<std::size_t>(Say::Count) + sizeof kReasons / sizeof *kReasons);
    for (int say = 0; say < static_cast<int>(Say::Count); ++say) {
        texts.push_back(textOf(static_cast<Say>(say)));
    }
    for (const Reason& reason : kReasons) {
        texts.push_back(reason.text);
    }
    return texts;
}

} // namespace handler
