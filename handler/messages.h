// What the handler tells a user, in English or Simplified Chinese as the
// user's Windows speaks, from one table: a refused file or link (the member
// and why), a console that did not open (what the check would find), a bad
// command line.
#pragma once

#include "connection_file.h"

#include <string>

namespace handler {

constexpr wchar_t kCaption[] = L"Corvane Remote Console";

enum class Language { English, Chinese };

// Chinese for a user interface in any Chinese; English otherwise.
Language userLanguage(unsigned short uiLanguage);

std::wstring refusalMessage(Language language, bool link, const Verdict& verdict);
std::wstring unreadableMessage(Language language, unsigned long error);
// `findings`: what the check finds wrong, one per line; empty when it finds
// nothing, and the client then did not open its controller pipe.
std::wstring launchFailedMessage(Language language, const std::wstring& findings);
std::wstring launcherMissingMessage(Language language, const std::wstring& launcher,
                                    unsigned long error);
std::wstring usageMessage(Language language);

} // namespace handler
