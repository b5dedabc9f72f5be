#include "messages.h"

#include <string>

namespace handler {

namespace {

struct Text {
    const wchar_t* english;
    const wchar_t* chinese;
};

const wchar_t* in(Language language, const Text& text) {
    return language == Language::Chinese ? text.chinese : text.english;
}

// Why a file was refused, by Refusal; a member's name goes before the
// reasons that start with a verb.
struct Reason {
    Refusal refusal;
    bool aboutMember;
    Text text;
};

// clang-format off
const Reason kReasons[] = {
    {Refusal::NotJson, false, {L"it is not a connection file (not JSON text)",
                               L"它不是连接文件（不是 JSON 文本）"}},
    {Refusal::NotObject, false, {L"it is not a connection file (not a JSON object)",
                                 L"它不是连接文件（不是 JSON 对象）"}},
    {Refusal::TooLarge, false, {L"it is larger than 64 KiB", L"它大于 64 KiB"}},
    {Refusal::BadLink, false, {L"the link is damaged (not base64url)",
                               L"链接已损坏（不是 base64url 编码）"}},
    {Refusal::UnknownMember, true, {L"is not a member of a connection file",
                                    L"不是连接文件的成员"}},
    {Refusal::Duplicate, true, {L"is given twice", L"出现了两次"}},
    {Refusal::WrongType, true, {L"has the wrong type", L"类型错误"}},
    {Refusal::NotInteger, true, {L"is not a whole number", L"不是整数"}},
    {Refusal::PortRange, true, {L"is not a port number from 1 to 65535",
                                L"不是 1 到 65535 之间的端口号"}},
    {Refusal::WrongVersion, true, {L"is not 1: the file was made for a newer version of this program",
                                   L"不是 1：该文件是为更新版本的程序生成的"}},
    {Refusal::Missing, true, {L"is missing", L"缺失"}},
    {Refusal::Empty, true, {L"is empty", L"为空"}},
    {Refusal::NoPort, false, {L"it gives neither \"port\" nor \"securePort\"",
                              L"其中既没有 \"port\" 也没有 \"securePort\""}},
    {Refusal::BothCa, false, {L"it gives both \"ca\" and \"caFile\"; one of them is enough",
                              L"其中同时有 \"ca\" 和 \"caFile\"，只能有一个"}},
    {Refusal::HoldsNul, true, {L"holds the character U+0000", L"包含字符 U+0000"}},
    {Refusal::NotInCodePage, true, {L"holds characters this Windows cannot pass on (its ANSI code page lacks them)",
                                    L"包含此 Windows 无法传递的字符（其 ANSI 代码页中没有这些字符）"}},
    {Refusal::TooLong, true, {L"is 1024 bytes or longer", L"长度达到或超过 1024 字节"}},
};

const Text kFileRefused = {L"This connection file cannot be used: ", L"无法使用此连接文件："};
const Text kLinkRefused = {L"This console link cannot be used: ", L"无法使用此控制台链接："};
const Text kMember = {L"the member \"", L"成员 \""};
const Text kAskAgain = {L"Open the console from the portal again. If this keeps happening, tell the portal's administrator.",
                        L"请从门户重新打开控制台。如果问题反复出现，请告诉门户管理员。"};
const Text kUnreadable = {L"The connection file cannot be read: error ", L"无法读取连接文件：错误 "};
const Text kFailed = {L"The console could not be opened.", L"无法打开控制台。"};
const Text kNoPipe = {L"The SPICE client started but did not open its controller pipe within ten seconds. Close other copies of the client and try again.",
                      L"SPICE 客户端已启动，但未在十秒内打开其控制管道。请关闭客户端的其他副本后重试。"};
const Text kAskAdmin = {L"If this keeps happening, give your administrator this message; tools\\corvane-r-check.exe --start shows more.",
                        L"如果问题反复出现，请将此消息告诉管理员；tools\\corvane-r-check.exe --start 可显示更多信息。"};
const Text kNoLauncher = {L"The console launcher cannot be started: ", L"无法启动控制台启动程序："};
const Text kReinstall = {L"Reinstall Corvane Remote Console Client.", L"请重新安装 Corvane Remote Console Client。"};
const Text kError = {L": error ", L"：错误 "};
const Text kStop = {L".", L"。"};
const Text kUsage = {L"Usage: corvane-r-open.exe [--quiet] FILE.corvane\n       corvane-r-open.exe [--quiet] corvane-console:LINK\n\nOpens a console from a connection file or link that a portal gave you.",
                     L"用法：corvane-r-open.exe [--quiet] 文件.corvane\n      corvane-r-open.exe [--quiet] corvane-console:链接\n\n从门户提供的连接文件或链接打开控制台。"};
// clang-format on

std::wstring number(unsigned long value) {
    return std::to_wstring(value);
}

// A member's name is ASCII whenever it is one of ours; any other is shown
// with its non-ASCII characters as '?', enough to recognise it.
std::wstring memberName(const std::string& name) {
    std::wstring shown;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 && (byte & 0xC0) == 0x80) {
            continue;
        }
        shown += byte >= 0x20 && byte < 0x7F ? static_cast<wchar_t>(byte) : L'?';
    }
    return shown;
}

} // namespace

Language userLanguage(unsigned short uiLanguage) {
    constexpr unsigned short kChinesePrimary = 0x04; // LANG_CHINESE
    return (uiLanguage & 0x3FF) == kChinesePrimary ? Language::Chinese : Language::English;
}

std::wstring refusalMessage(Language language, bool link, const Verdict& verdict) {
    std::wstring message = in(language, link ? kLinkRefused : kFileRefused);
    for (const Reason& reason : kReasons) {
        if (reason.refusal == verdict.refusal) {
            if (reason.aboutMember) {
                message += in(language, kMember) + memberName(verdict.member) + L"\" ";
            }
            message += in(language, reason.text);
        }
    }
    return message + in(language, kStop) + L"\n\n" + in(language, kAskAgain);
}

std::wstring unreadableMessage(Language language, unsigned long error) {
    return in(language, kUnreadable) + number(error) + in(language, kStop) + L"\n\n" +
           in(language, kAskAgain);
}

std::wstring launchFailedMessage(Language language, const std::wstring& findings) {
    return std::wstring(in(language, kFailed)) + L"\n\n" +
           (findings.empty() ? std::wstring(in(language, kNoPipe)) + L"\n" : findings) + L"\n" +
           in(language, kAskAdmin);
}

std::wstring launcherMissingMessage(Language language, const std::wstring& launcher,
                                    unsigned long error) {
    return in(language, kNoLauncher) + launcher + in(language, kError) + number(error) +
           in(language, kStop) + L"\n\n" + in(language, kReinstall);
}

std::wstring usageMessage(Language language) {
    return in(language, kUsage);
}

} // namespace handler
