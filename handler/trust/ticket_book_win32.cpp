#include "ticket_book.h"

#include "signature_check.h"

#include <windows.h>

#include <shlobj.h>

namespace handler {

namespace {

// 100-nanosecond intervals from 1601 to 1970.
constexpr std::int64_t kUnixEpochInFileTime = 116444736000000000;
constexpr std::int64_t kFileTimePerSecond = 10000000;

std::int64_t secondsOf(const FILETIME& time) {
    const std::int64_t ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    return (ticks - kUnixEpochInFileTime) / kFileTimePerSecond;
}

FILETIME fileTimeOf(std::int64_t seconds) {
    const auto ticks =
        static_cast<std::uint64_t>(seconds * kFileTimePerSecond + kUnixEpochInFileTime);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

// The book's folder with a trailing backslash, made if missing; empty with
// `error` when it cannot be had.
std::wstring bookFolder(unsigned long& error) {
    wchar_t local[MAX_PATH] = {};
    const HRESULT found = SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE,
                                           nullptr, SHGFP_TYPE_CURRENT, local);
    if (found != S_OK) {
        error = static_cast<unsigned long>(found);
        return {};
    }
    std::wstring folder = std::wstring(local) + L"\\Corvane";
    for (const wchar_t* below : {L"", L"\\Tickets"}) {
        folder += below;
        if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            error = GetLastError();
            return {};
        }
    }
    return folder + L"\\";
}

std::wstring recordName(const std::string& key) {
    const std::string hash = sha256Hex(key);
    return std::wstring(hash.begin(), hash.end());
}

void removeOutlived(const std::wstring& folder, std::int64_t now) {
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const bool file = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
        if (file && secondsOf(found.ftLastWriteTime) < now) {
            DeleteFileW((folder + found.cFileName).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

} // namespace

std::int64_t unixNow() {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    return secondsOf(now);
}

Use recordTicketUse(const std::string& key, std::int64_t keepUntil, std::int64_t now,
                    unsigned long& error) {
    const std::wstring folder = bookFolder(error);
    const std::wstring name = recordName(key);
    if (folder.empty() || name.empty()) {
        error = error != 0 ? error : static_cast<unsigned long>(NTE_BAD_ALGID);
        return Use::NotRecorded;
    }
    removeOutlived(folder, now);
    const std::wstring path = folder + name;
    HANDLE record = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_NEW, // the one atomic test-and-set a file system offers
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (record == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return error == ERROR_FILE_EXISTS ? Use::Again : Use::NotRecorded;
    }
    const FILETIME until = fileTimeOf(keepUntil);
    const bool dated = SetFileTime(record, nullptr, nullptr, &until) != 0;
    error = dated ? 0 : GetLastError();
    CloseHandle(record);
    if (!dated) { // it would go with the next clean-up, and the ticket open again
        DeleteFileW(path.c_str());
        return Use::NotRecorded;
    }
    return Use::First;
}

bool ticketRecorded(const std::string& key) {
    unsigned long error = 0;
    const std::wstring folder = bookFolder(error);
    return !folder.empty() &&
           GetFileAttributesW((folder + recordName(key)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace handler
