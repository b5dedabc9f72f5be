// The policy from the registry. Group Policy writes in the 64-bit view, and
// this is a 32-bit program, which would otherwise be shown the 32-bit one
// (KEY_WOW64_64KEY is ignored on 32-bit Windows, where there is one view).
#include "policy.h"

#include <windows.h>

#include <cstring>

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

// ERROR_SUCCESS and the key, or why not: ERROR_FILE_NOT_FOUND where it is
// not there, anything else where it is there but cannot be read.
LONG openKey(HKEY root, const std::wstring& path, HKEY& key) {
    key = nullptr;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key);
}

// "1", "2", ... up to the first that is missing. The key makes the list
// set, whatever it holds; a value that is no string, or longer than any
// entry can be, is kept as unusable.
bool readList(HKEY root, const wchar_t* name, List& list) {
    HKEY key = nullptr;
    const LONG opened = openKey(root, std::wstring(kPolicyKey) + L"\\" + name, key);
    if (opened == ERROR_FILE_NOT_FOUND) {
        return false;
    }
    if (opened != ERROR_SUCCESS) {
        list.unreadable = static_cast<unsigned long>(opened);
        return true; // set, and nothing in it can be used
    }
    // Values "1", "2", ... up to the first one missing, and never more than
    // kMostListValues: a key deleted while it is read (a policy refresh)
    // answers every name with an error, which ends the list as well.
    for (unsigned long index = 1; index <= kMostListValues; ++index) {
        wchar_t data[1024] = {};
        DWORD type = 0;
        DWORD size = sizeof data - sizeof *data;
        const LONG result = RegQueryValueExW(key, std::to_wstring(index).c_str(), nullptr, &type,
                                             reinterpret_cast<BYTE*>(data), &size);
        if (result == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
            list.entries.push_back(utf8(data));
        } else if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
            list.unusable.push_back(index); // another type, or too long
        } else {
            break;
        }
    }
    RegCloseKey(key);
    return true; // set, whatever it holds
}

const char* ofType(DWORD type) {
    switch (type) {
    case REG_BINARY:
        return "a REG_BINARY value";
    case REG_MULTI_SZ:
        return "a REG_MULTI_SZ value";
    case REG_QWORD:
        return "a REG_QWORD value";
    default:
        return "a value of another type";
    }
}

// A DWORD, or a REG_SZ of "0", "1" or "2" (what `reg add /d 0` without a
// type, and many device-management tools, write). Anything else there is
// set, and kUnusable.
bool readUnverified(HKEY root, Policy& policy) {
    HKEY key = nullptr;
    const LONG opened = openKey(root, kPolicyKey, key);
    if (opened == ERROR_FILE_NOT_FOUND) {
        return false;
    }
    if (opened != ERROR_SUCCESS) {
        policy.unverifiedFiles = kUnusable;
        policy.unverifiedWritten =
            "in a key that cannot be read (error " + std::to_string(opened) + ")";
        return true;
    }
    wchar_t data[16] = {};
    DWORD type = 0;
    DWORD size = sizeof data - sizeof *data;
    const LONG result = RegQueryValueExW(key, kUnverifiedFiles, nullptr, &type,
                                         reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (result == ERROR_FILE_NOT_FOUND) {
        return false;
    }
    policy.unverifiedFiles = kUnusable;
    const std::wstring text(data);
    if (result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD value = 0;
        std::memcpy(&value, data, sizeof value);
        policy.unverifiedFiles = value;
        policy.unverifiedWritten = std::to_string(value);
    } else if (result == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
        const bool digit = text.size() == 1 && text[0] >= L'0' && text[0] <= L'2';
        policy.unverifiedFiles = digit ? static_cast<unsigned long>(text[0] - L'0') : kUnusable;
        policy.unverifiedWritten = "\"" + utf8(text) + "\"";
    } else {
        policy.unverifiedWritten =
            result == ERROR_SUCCESS ? ofType(type) : "a value too long to be one";
    }
    return true;
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
            if (lists[i]->source == Source::None && readList(root, names[i], *lists[i])) {
                lists[i]->source = source;
            }
        }
        if (policy.unverifiedSource == Source::None && readUnverified(root, policy)) {
            policy.unverifiedSource = source;
        }
    }
    return policy;
}

} // namespace policy
