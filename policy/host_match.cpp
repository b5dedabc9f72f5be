#include "host_match.h"

#include <algorithm>

namespace policy {

namespace {

std::string lower(std::string text) {
    for (char& c : text) {
        c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    }
    return text;
}

// Letters, digits and hyphens in labels of 1 to 63, none starting or
// ending with a hyphen, 253 in all; "vm7", "a.example.org".
bool isDnsName(const std::string& name) {
    if (name.empty() || name.size() > 253) {
        return false;
    }
    std::size_t label = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        const char c = i < name.size() ? name[i] : '.';
        if (c == '.') {
            if (label == 0 || label > 63 || name[i - 1] == '-' || name[i - label] == '-') {
                return false;
            }
            label = 0;
        } else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-') {
            ++label;
        } else {
            return false;
        }
    }
    return true;
}

// Dotted IPv4, or IPv6 in brackets or without: hex digits and colons, with
// an IPv4 tail allowed. Such a host is compared exactly, case aside.
bool isIpLiteral(const std::string& host) {
    const std::string bare = host.size() > 2 && host.front() == '[' && host.back() == ']'
                                 ? host.substr(1, host.size() - 2)
                                 : host;
    if (bare.find(':') != std::string::npos) {
        return bare.find_first_not_of("0123456789abcdef:.") == std::string::npos;
    }
    int parts = 0;
    std::size_t from = 0;
    for (; parts < 4; ++parts) {
        const std::size_t dot = bare.find('.', from);
        const std::string part = bare.substr(from, dot == std::string::npos ? dot : dot - from);
        if (part.empty() || part.size() > 3 ||
            part.find_first_not_of("0123456789") != std::string::npos ||
            (part.size() == 3 && part > "255")) {
            return false;
        }
        if (dot == std::string::npos) {
            break;
        }
        from = dot + 1;
    }
    return parts == 3;
}

std::string withoutTrailingDot(std::string name) {
    if (!name.empty() && name.back() == '.') {
        name.pop_back();
    }
    return name;
}

} // namespace

bool hostAllowed(const std::string& host, const std::vector<std::string>& entries) {
    const std::string name = withoutTrailingDot(lower(host));
    const bool ip = isIpLiteral(name);
    if (!ip && !isDnsName(name)) {
        return false;
    }
    return std::any_of(entries.begin(), entries.end(), [&](const std::string& written) {
        const std::string entry = withoutTrailingDot(lower(written));
        if (ip || entry.compare(0, 2, "*.") != 0) {
            return entry == name;
        }
        const std::string parent = entry.substr(1); // ".example.org"
        return name.size() > parent.size() &&
               name.compare(name.size() - parent.size(), parent.size(), parent) == 0;
    });
}

} // namespace policy
