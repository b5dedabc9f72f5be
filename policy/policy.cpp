#include "policy.h"

namespace policy {

bool normalThumbprint(const std::string& written, std::string& hex) {
    hex.clear();
    for (const char c : written) {
        if (c == ' ' || c == ':') {
            continue;
        }
        const char lower = c >= 'A' && c <= 'F' ? char(c - 'A' + 'a') : c;
        if (!((lower >= '0' && lower <= '9') || (lower >= 'a' && lower <= 'f'))) {
            return false;
        }
        hex += lower;
    }
    return hex.size() == 64;
}

bool listsThumbprint(const List& publishers, const std::string& thumbprint) {
    for (const std::string& entry : publishers.entries) {
        std::string hex;
        if (normalThumbprint(entry, hex) && hex == thumbprint) {
            return true;
        }
    }
    return false;
}

Unverified unverifiedAction(const Policy& policy) {
    return policy.unverifiedFiles <= kOpen ? static_cast<Unverified>(policy.unverifiedFiles) : kAsk;
}

} // namespace policy
