#include "impersonation_probe.h"

namespace standin {
namespace {

const char* impersonationLevelName(SECURITY_IMPERSONATION_LEVEL level) {
    switch (level) {
    case SecurityAnonymous:
        return "anonymous";
    case SecurityIdentification:
        return "identification";
    case SecurityImpersonation:
        return "impersonation";
    case SecurityDelegation:
        return "delegation";
    }
    return "unknown";
}

} // namespace

std::string probeImpersonation(HANDLE pipe) {
    if (!ImpersonateNamedPipeClient(pipe)) {
        return "unavailable: ImpersonateNamedPipeClient error " + std::to_string(GetLastError());
    }
    std::string result;
    HANDLE token = nullptr;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
        SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;
        DWORD size = 0;
        if (GetTokenInformation(token, TokenImpersonationLevel, &level, sizeof level, &size)) {
            result = impersonationLevelName(level);
        } else {
            result = "unavailable: GetTokenInformation error " + std::to_string(GetLastError());
        }
        CloseHandle(token);
    } else {
        result = "unavailable: OpenThreadToken error " + std::to_string(GetLastError());
    }
    RevertToSelf();
    return result;
}

} // namespace standin
