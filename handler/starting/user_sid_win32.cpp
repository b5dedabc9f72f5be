#include "user_sid.h"

namespace handler {

PSID currentUserSid(std::vector<BYTE>& buffer) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return nullptr;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    buffer.resize(size);
    const BOOL known = GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    CloseHandle(token);
    return known ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid : nullptr;
}

} // namespace handler
