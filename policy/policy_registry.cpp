// The policy from the registry. Group Policy writes in the 64-bit view, and
// this is a 32-bit program, which would otherwise be shown the 32-bit one
// (KEY_WOW64_64KEY is ignored on 32-bit Windows, where there is one view).
#include "policy.h"

#include <windows.h>

namespace policy {

namespace {

std::string utf8(const std::wstring& wide) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), text.data(), size, nullptr,
                        nullptr);
    return text;
}

HKEY openKey(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) ==
                   ERROR_SUCCESS
               ? key
               : nullptr;
}

// "1", "2", ... up to the first that is missing; a value that is not a
// string is skipped, as the list it stands in has no place for it.
bool readList(HKEY root, const wchar_t* name, std::vector<std::string>& entries) {
    HKEY key = openKey(root, std::wstring(kPolicyKey) + L"\\" + name);
    if (key == nullptr) {
        return false;
    }
    entries.clear();
    for (unsigned long index = 1;; ++index) {
        wchar_t data[1024] = {};
        DWORD type = 0;
        DWORD size = sizeof data - sizeof *data;
        const LONG result = RegQueryValueExW(key, std::to_wstring(index).c_str(), nullptr, &type,
                                             reinterpret_cast<BYTE*>(data), &size);
        if (result == ERROR_FILE_NOT_FOUND) {
            break;
        }
        if (result == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
            entries.push_back(utf8(data));
        }
    }
    RegCloseKey(key);
    return !entries.empty();
}

bool readNumber(HKEY root, const wchar_t* name, unsigned long& number) {
    HKEY key = openKey(root, kPolicyKey);
    if (key == nullptr) {
        return false;
    }
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof value;
    const bool found = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                        &size) == ERROR_SUCCESS &&
                       type == REG_DWORD;
    RegCloseKey(key);
    number = found ? value : number;
    return found;
}

} // namespace

Policy readPolicy() {
    Policy policy;
    // Machine first: what it sets, the user's cannot change.
    const std::pair<HKEY, Source> kLevels[] = {{HKEY_LOCAL_MACHINE, Source::Machine},
                                               {HKEY_CURRENT_USER, Source::User}};
    for (const auto& [root, source] : kLevels) {
        List* lists[] = {&policy.trustedPublishers, &policy.allowedHosts};
        const wchar_t* names[] = {kTrustedPublishers, kAllowedHosts};
        for (int i = 0; i < 2; ++i) {
            if (lists[i]->source == Source::None && readList(root, names[i], lists[i]->entries)) {
                lists[i]->source = source;
            }
        }
        if (policy.unverifiedSource == Source::None &&
            readNumber(root, kUnverifiedFiles, policy.unverifiedFiles)) {
            policy.unverifiedSource = source;
        }
    }
    return policy;
}

} // namespace policy
