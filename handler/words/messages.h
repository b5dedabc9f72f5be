// What the handler tells a user, in English, Simplified or Traditional
// Chinese as the user's Windows speaks, from one table: a refused file or
// link (the member and why), the question before a file nobody vouches
// for connects, a console that did not open (why, in the
// user's words, and below it what the check finds, for the administrator),
// a bad command line. Platform-neutral, so that the table is also checked
// natively.
#pragma once

#include "connection_file.h"

#include <string>
#include <vector>

namespace handler {

// The product's name, as the packaging spells it (CMakeLists.txt).
constexpr wchar_t kCaption[] = CORVANE_PRODUCT_NAME;

enum class Language { English, Simplified, Traditional };

// Traditional Chinese for Taiwan, Hong Kong and Macao, Simplified for any
// other Chinese, English otherwise.
Language userLanguage(unsigned short uiLanguage);

// Why a launch failed, as its user can act on it.
enum class LaunchProblem {
    NoPipe,         // the check finds nothing: the client did not open its pipe
    NotInstalled,   // no client key, or no value in it
    ProgramMissing, // the registered program is not there
    NotStarted,     // anything else that keeps Windows from starting it
};

// What a refusal may name besides the member: the file's host, where the
// policy does not allow it; for a ticket's lifetime, this computer's time
// and the file's, in seconds since 1970 UTC; Windows' error code, where
// the ticket's use could not be recorded.
struct Particulars {
    std::wstring host;
    std::int64_t now = kNoTime, notBefore = kNoTime, expires = kNoTime;
    unsigned long error = 0;
};

std::wstring refusalMessage(Language language, bool link, const Verdict& verdict,
                            const Particulars& particulars = {});
// The question before a file that nobody the administrator trusts vouches
// for connects: where to (a port of 0 is not given), whether it brings its
// own certificate authority, and the risk. The host is shown whole: a DNS
// name is read from the right, and a cut would hide what matters.
std::wstring askMessage(Language language, bool link, const std::wstring& host, long port,
                        long securePort, const std::wstring& title, bool ownAuthority = false);
// "2026-12-09 17:45:00", UTC.
std::wstring utcTime(std::int64_t seconds);
std::wstring unreadableMessage(Language language, unsigned long error);
std::wstring caNotWrittenMessage(Language language, unsigned long error);
// `findings`: what the check finds wrong, one per line, for the
// administrator; `checkTool`: whether the check tool is installed beside us.
std::wstring launchFailedMessage(Language language, LaunchProblem problem,
                                 const std::wstring& findings, bool checkTool);
std::wstring launcherMissingMessage(Language language, const std::wstring& launcher,
                                    unsigned long error);
// A one-time password left on disk: the user is to delete the file.
std::wstring notDeletedMessage(Language language, const std::wstring& path, unsigned long error);
std::wstring usageMessage(Language language);

// One text in every language.
struct Text {
    const wchar_t* english;
    const wchar_t* simplified;
    const wchar_t* traditional;
};
// Every text the messages are made of, for the check that none is missing
// in any language.
std::vector<Text> everyText();

} // namespace handler
