#include "messages.h"

#include <cwchar>
#include <string>

namespace handler {

namespace {

// Why a file was refused, by Refusal; a member's name goes before the
// reasons that start with a verb.
enum class About { Nothing, Member, Host };

struct Reason {
    Refusal refusal;
    About about;
    Text text;
};

// The Traditional column is written as users in Taiwan read it (連線,
// 檔案, 程式, 用戶端, 主控台), not converted from the Simplified one.
// clang-format off
const Reason kReasons[] = {
    {Refusal::NotJson, About::Nothing, {L"it is not a connection file (not JSON text)",
                               L"它不是连接文件（不是 JSON 文本）",
                               L"這不是連線檔案（不是 JSON 文字）"}},
    {Refusal::NotObject, About::Nothing, {L"it is not a connection file (not a JSON object)",
                                 L"它不是连接文件（不是 JSON 对象）",
                                 L"這不是連線檔案（不是 JSON 物件）"}},
    {Refusal::TooLarge, About::Nothing, {L"it is larger than 64 KiB", L"它大于 64 KiB", L"檔案大於 64 KiB"}},
    {Refusal::BadLink, About::Nothing, {L"the link is damaged (not base64url)",
                               L"链接已损坏（不是 base64url 编码）",
                               L"連結已損毀（不是 base64url 編碼）"}},
    {Refusal::UnknownMember, About::Member, {L"is not a member of a connection file",
                                    L"不是连接文件的成员", L"不是連線檔案的成員"}},
    {Refusal::Duplicate, About::Member, {L"is given twice", L"出现了两次", L"出現了兩次"}},
    {Refusal::WrongType, About::Member, {L"has the wrong type", L"类型错误", L"類型錯誤"}},
    {Refusal::NotInteger, About::Member, {L"is not a whole number", L"不是整数", L"不是整數"}},
    {Refusal::PortRange, About::Member, {L"is not a port number from 1 to 65535",
                                L"不是 1 到 65535 之间的端口号",
                                L"不是 1 到 65535 之間的連接埠號碼"}},
    {Refusal::WrongVersion, About::Member, {L"is not 1: the file was made for a newer version of this program",
                                   L"不是 1：该文件是为更新版本的程序生成的",
                                   L"不是 1：此檔案是為較新版本的程式所產生"}},
    {Refusal::VersionBelowOne, About::Member, {L"is not 1: versions of the connection file start at 1",
                                      L"不是 1：连接文件的版本从 1 开始",
                                      L"不是 1：連線檔案的版本從 1 開始"}},
    {Refusal::Missing, About::Member, {L"is missing", L"缺失", L"未提供"}},
    {Refusal::Empty, About::Member, {L"is empty", L"为空", L"是空的"}},
    {Refusal::NoPort, About::Nothing, {L"it gives neither \"port\" nor \"securePort\"",
                              L"其中既没有 \"port\" 也没有 \"securePort\"",
                              L"其中既沒有 \"port\" 也沒有 \"securePort\""}},
    {Refusal::BothCa, About::Nothing, {L"it gives both \"ca\" and \"caFile\"; one of them is enough",
                              L"其中同时有 \"ca\" 和 \"caFile\"，只能有一个",
                              L"其中同時有 \"ca\" 和 \"caFile\"，只能有一個"}},
    {Refusal::HoldsNul, About::Member, {L"holds the character U+0000", L"包含字符 U+0000",
                               L"包含字元 U+0000"}},
    {Refusal::NotInCodePage, About::Member, {L"holds characters this Windows cannot pass on (its ANSI code page lacks them)",
                                    L"包含此 Windows 无法传递的字符（其 ANSI 代码页中没有这些字符）",
                                    L"包含這個 Windows 無法傳遞的字元（其 ANSI 字碼頁中沒有這些字元）"}},
    {Refusal::TooLong, About::Member, {L"is 1024 bytes or longer", L"长度达到或超过 1024 字节",
                              L"長度達到或超過 1024 位元組"}},
    {Refusal::NotLocalPath, About::Member, {L"is not a full path that starts with a drive letter, such as C:\\certs\\ca.pem (a network path is not allowed)",
                                   L"不是以驱动器号开头的完整路径（例如 C:\\certs\\ca.pem），不允许使用网络路径",
                                   L"不是以磁碟機代號開頭的完整路徑（例如 C:\\certs\\ca.pem），不允許使用網路路徑"}},
    {Refusal::SignatureMember, About::Member, {L"is not a member of a signed connection file",
                                               L"不是已签名连接文件的成员",
                                               L"不是已簽署連線檔案的成員"}},
    {Refusal::SignatureMalformed, About::Nothing, {L"its signature is damaged, or not in a form this program takes",
                                                   L"其签名已损坏，或不是本程序接受的格式",
                                                   L"其簽章已損毀，或不是本程式接受的格式"}},
    {Refusal::SignatureAlgorithm, About::Nothing, {L"it is signed with an algorithm this program does not take (only RS256 and ES256)",
                                                   L"它使用本程序不接受的算法签名（只接受 RS256 和 ES256）",
                                                   L"它使用本程式不接受的演算法簽署（只接受 RS256 和 ES256）"}},
    {Refusal::SignatureHeader, About::Member, {L"is not allowed in a signature's header",
                                               L"不允许出现在签名的标头中",
                                               L"不允許出現在簽章的標頭中"}},
    {Refusal::SignatureKey, About::Nothing, {L"its signature's algorithm does not fit the signer's certificate, or the certificate's key is too weak",
                                             L"其签名算法与签名者的证书不符，或证书的密钥强度不够",
                                             L"其簽章演算法與簽署者的憑證不符，或憑證的金鑰強度不足"}},
    {Refusal::SignatureInvalid, About::Nothing, {L"its signature does not match its contents: it was changed after it was signed",
                                                 L"其签名与内容不符：它在签名后被改动过",
                                                 L"其簽章與內容不符：它在簽署後遭到變更"}},
    {Refusal::NotCurrent, About::Nothing, {L"the certificate it is signed with has expired or is not yet valid",
                                           L"为它签名的证书已过期或尚未生效",
                                           L"簽署它的憑證已過期或尚未生效"}},
    {Refusal::HostNotAllowed, About::Host, {L", which your administrator does not allow",
                                            L"，而管理员不允许连接该主机",
                                            L"，而管理員不允許連線到這部主機"}},
    {Refusal::Unverified, About::Nothing, {L"nobody your administrator trusts vouches for it, and your administrator opens no other files",
                                           L"没有任何受管理员信任的发布者为它担保，而管理员不允许打开其他文件",
                                           L"沒有任何受管理員信任的發行者為它擔保，而管理員不允許開啟其他檔案"}},
    {Refusal::NulByte, About::Nothing, {L"it holds a NUL byte, which no connection file holds",
                                        L"它包含 NUL 字节，连接文件中不会有这种字节",
                                        L"它包含 NUL 位元組，連線檔案中不會有這種位元組"}},
    {Refusal::NotHostName, About::Member, {L"is not a host name or an IP address (an international name is written in its xn-- form)",
                                           L"不是主机名或 IP 地址（国际化域名须写成 xn-- 形式）",
                                           L"不是主機名稱或 IP 位址（國際化網域名稱須寫成 xn-- 形式）"}},
    {Refusal::NotATime, About::Member, {L"is not a time in whole seconds since 1970",
                                        L"不是自 1970 年起以整秒计的时间",
                                        L"不是自 1970 年起以整秒計的時間"}},
    {Refusal::NotTicketId, About::Member, {L"is not 1 to 128 printable ASCII characters",
                                           L"不是 1 到 128 个可打印的 ASCII 字符",
                                           L"不是 1 到 128 個可列印的 ASCII 字元"}},
    {Refusal::Unticketed, About::Nothing, {L"the portal signs its files without an expiry or an id (\"exp\" and \"jti\"), so that one could be opened again and again, by anyone it reaches",
                                           L"门户签名的文件没有有效期或编号（\"exp\" 和 \"jti\"），任何拿到它的人都可以一再打开",
                                           L"入口網站簽署的檔案沒有有效期限或編號（\"exp\" 和 \"jti\"），任何拿到它的人都可以一再開啟"}},
    {Refusal::Expired, About::Nothing, {L"it has expired", L"它已过期", L"它已過期"}},
    {Refusal::NotYetValid, About::Nothing, {L"it is not valid yet", L"它尚未生效", L"它尚未生效"}},
    {Refusal::TooLongLived, About::Nothing, {L"it claims to be valid for more than a day, which no console ticket is",
                                             L"它声称有效期超过一天，而控制台票据不会有这么长的有效期",
                                             L"它聲稱有效期限超過一天，而主控台票證不會有這麼長的有效期限"}},
    {Refusal::AlreadyUsed, About::Nothing, {L"it was already used, and it opens only once",
                                            L"它已被使用过，而它只能打开一次",
                                            L"它已經使用過，而它只能開啟一次"}},
    {Refusal::NotRecorded, About::Nothing, {L"it opens only once, and this computer could not record that it was used: error ",
                                            L"它只能打开一次，而此计算机无法记录它已被使用：错误 ",
                                            L"它只能開啟一次，而這部電腦無法記錄它已被使用：錯誤 "}},
    {Refusal::NoEcdsa, About::Nothing, {L"it is signed with ES256, which this Windows cannot check (Windows 7 and later can); the portal should sign with RS256 for this computer",
                                        L"它使用 ES256 签名，而此版本的 Windows 无法核验（Windows 7 及更高版本可以）；门户应为此计算机使用 RS256 签名",
                                        L"它使用 ES256 簽署，而這個版本的 Windows 無法核驗（Windows 7 及更新版本可以）；入口網站應為這部電腦使用 RS256 簽署"}},
    {Refusal::NotAsked, About::Nothing, {L"nobody your administrator trusts vouches for it, and with --quiet you cannot be asked whether to open it",
                                         L"没有任何受管理员信任的发布者为它担保，而使用 --quiet 时无法询问您是否打开它",
                                         L"沒有任何受管理員信任的發行者為它擔保，而使用 --quiet 時無法詢問您是否開啟它"}},
};

enum class Say {
    FileRefused, LinkRefused, Member, AskAgain, Unreadable, CaNotWritten, TryAgain, NoLauncher,
    Reinstall, Error, Stop, NotDeleted, DeleteYourself, Usage,
    NotInstalled, ProgramMissing, NotStarted, NoPipe, ForAdministrator, NoPipeFinding, CheckTool,
    Host, AskAdministrator, AskFile, AskLink, AskHost, AskPort, AskPlain, AskEncrypted, AskTitle,
    AskWarning, AskQuestion, AskOwnAuthority, ClockIs, ValidFrom, ValidUntil, ClockAdvice, Utc,
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
    {Say::Host, {L"it connects to \"", L"它连接到 \"", L"它連線到 \""}},
    {Say::AskAdministrator, {L"If you need this console, ask your IT administrator.",
                             L"如果您需要此控制台，请联系 IT 管理员。",
                             L"如果您需要這個主控台，請洽詢 IT 管理員。"}},
    // The question asked before a file nobody vouches for connects.
    {Say::AskFile, {L"This connection file would connect you to:", L"此连接文件将把您连接到：",
                    L"這個連線檔案會將您連線到："}},
    {Say::AskLink, {L"This console link would connect you to:", L"此控制台链接将把您连接到：",
                    L"這個主控台連結會將您連線到："}},
    {Say::AskHost, {L"Host: ", L"主机：", L"主機："}},
    {Say::AskPort, {L"Port ", L"端口 ", L"連接埠 "}},
    {Say::AskPlain, {L" (not encrypted)", L"（未加密）", L"（未加密）"}},
    {Say::AskEncrypted, {L" (encrypted)", L"（已加密）", L"（已加密）"}},
    {Say::AskTitle, {L"Title: ", L"标题：", L"標題："}},
    {Say::AskWarning, {L"Nobody your administrator trusts vouches for it. A file from an email or an unknown website can connect you to someone else's computer, which then sees everything you type, and can read your clipboard and the devices you share.",
                       L"没有任何受管理员信任的发布者为它担保。来自电子邮件或陌生网站的文件可能会把您连接到他人的计算机，对方会看到您输入的所有内容，并能读取您的剪贴板和您共享的设备。",
                       L"沒有任何受管理員信任的發行者為它擔保。來自電子郵件或不明網站的檔案可能會將您連線到他人的電腦，對方會看到您輸入的所有內容，並能讀取您的剪貼簿和您共用的裝置。"}},
    {Say::AskQuestion, {L"Connect only if you have just opened this console yourself, from your organisation's portal. Connect?",
                        L"只有当您刚刚亲自从本单位的门户打开此控制台时，才应连接。是否连接？",
                        L"只有在您剛剛親自從貴單位的入口網站開啟這個主控台時，才應連線。要連線嗎？"}},
    {Say::AskOwnAuthority, {L"It brings its own certificate authority or certificate subject, so the host is not checked against the ones your administrator trusts.",
                            L"它自带证书颁发机构或证书主题，因此不会按照管理员信任的证书来核验该主机。",
                            L"它自帶憑證授權單位或憑證主體，因此不會依照管理員信任的憑證來核驗這部主機。"}},
    // For a ticket's lifetime: the clocks, for the administrator; English
    // puts a space between sentences, Chinese none.
    {Say::ClockIs, {L"This computer's time is ", L"此计算机的时间是 ", L"這部電腦的時間是 "}},
    {Say::ValidFrom, {L" The file is valid from ", L"该文件的生效时间是 ", L"此檔案的生效時間是 "}},
    {Say::ValidUntil, {L" The file is valid until ", L"该文件的失效时间是 ", L"此檔案的失效時間是 "}},
    {Say::ClockAdvice, {L" Five minutes either way are allowed; a wrong clock, here or on the portal, is the usual cause.",
                        L"允许前后五分钟的误差；本机或门户的时钟不准是最常见的原因。",
                        L"允許前後五分鐘的誤差；本機或入口網站的時鐘不準是最常見的原因。"}},
    {Say::Utc, {L" UTC.", L" UTC。", L" UTC。"}},
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

// A text from the file shown in a box (a host, a title): its first
// `length` characters, each control character and each that reorders the
// text around it (a right-to-left override could make "moc.evil" read as
// "live.com") shown as '?', and an ellipsis after a cut.
std::wstring shownText(const std::wstring& text, std::size_t length) {
    std::wstring shown;
    for (const wchar_t c : text) {
        if (shown.size() == length) {
            return shown + L"\u2026";
        }
        const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
        const bool reorders = (c >= 0x200E && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
                              (c >= 0x2066 && c <= 0x2069);
        shown += control || reorders ? L'?' : c;
    }
    return shown;
}

constexpr std::size_t kShownTitleLength = 80;

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

std::wstring refusalMessage(Language language, bool link, const Verdict& verdict,
                            const Particulars& particulars) {
    std::wstring message = in(language, link ? Say::LinkRefused : Say::FileRefused);
    for (const Reason& reason : kReasons) {
        if (reason.refusal != verdict.refusal) {
            continue;
        }
        if (reason.about == About::Member) {
            message += in(language, Say::Member) + memberName(verdict.member) + L"\" ";
        } else if (reason.about == About::Host) {
            message +=
                in(language, Say::Host) + shownText(particulars.host, std::wstring::npos) + L"\"";
        }
        message += pick(language, reason.text);
    }
    const Refusal refusal = verdict.refusal;
    if (refusal == Refusal::NotRecorded) {
        return message + number(particulars.error) + in(language, Say::Stop) + L"\n\n" +
               in(language, Say::TryAgain);
    }
    // Only the administrator can change what the policy refuses.
    const bool policy = refusal == Refusal::HostNotAllowed || refusal == Refusal::Unverified ||
                        refusal == Refusal::Unticketed || refusal == Refusal::NoEcdsa;
    message += in(language, Say::Stop) + L"\n\n" +
               in(language, policy ? Say::AskAdministrator : Say::AskAgain);
    if (refusal != Refusal::Expired && refusal != Refusal::NotYetValid &&
        refusal != Refusal::TooLongLived) {
        return message;
    }
    message += L"\n\n" + in(language, Say::ForAdministrator) + L"\n" + in(language, Say::ClockIs) +
               utcTime(particulars.now) + in(language, Say::Utc);
    if (particulars.notBefore != kNoTime) {
        message +=
            in(language, Say::ValidFrom) + utcTime(particulars.notBefore) + in(language, Say::Utc);
    }
    if (particulars.expires != kNoTime) {
        message +=
            in(language, Say::ValidUntil) + utcTime(particulars.expires) + in(language, Say::Utc);
    }
    return message + in(language, Say::ClockAdvice);
}

std::wstring utcTime(std::int64_t seconds) {
    // Howard Hinnant's days-to-civil, for the proleptic Gregorian calendar.
    const std::int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const std::int64_t inDay = seconds - days * 86400;
    const std::int64_t shifted = days + 719468;
    const std::int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const std::int64_t dayOfEra = shifted - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    wchar_t text[32] = {};
    (void)std::swprintf(text, 32, L"%04lld-%02lld-%02lld %02lld:%02lld:%02lld",
                        static_cast<long long>(year), static_cast<long long>(month),
                        static_cast<long long>(day), static_cast<long long>(inDay / 3600),
                        static_cast<long long>(inDay / 60 % 60),
                        static_cast<long long>(inDay % 60));
    return text;
}

std::wstring askMessage(Language language, bool link, const std::wstring& host, long port,
                        long securePort, const std::wstring& title, bool ownAuthority) {
    std::wstring message = in(language, link ? Say::AskLink : Say::AskFile) + L"\n    " +
                           in(language, Say::AskHost) + shownText(host, std::wstring::npos);
    if (port != 0) {
        message += L"\n    " + in(language, Say::AskPort) +
                   number(static_cast<unsigned long>(port)) + in(language, Say::AskPlain);
    }
    if (securePort != 0) {
        message += L"\n    " + in(language, Say::AskPort) +
                   number(static_cast<unsigned long>(securePort)) + in(language, Say::AskEncrypted);
    }
    if (!title.empty()) {
        // In quotes, as the file's own words, not the program's.
        message += L"\n    " + in(language, Say::AskTitle) + L"\"" +
                   shownText(title, kShownTitleLength) + L"\"";
    }
    if (ownAuthority) {
        message += L"\n\n" + in(language, Say::AskOwnAuthority);
    }
    return message + L"\n\n" + in(language, Say::AskWarning) + L"\n\n" +
           in(language, Say::AskQuestion);
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
