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

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string withoutTrailingDot(std::string name) {
    if (!name.empty() && name.back() == '.') {
        name.pop_back();
    }
    return name;
}

// The URL standard's "ends in a number": a last label of decimal digits,
// or "0x" and hex digits, which resolvers read as (part of) an IPv4 address
// ("2130706433", "0x7f000001", "10.0.0.0x5").
bool endsInNumber(const std::string& name) {
    const std::string last = name.substr(name.rfind('.') + 1);
    const bool hex = last.size() >= 2 && last[0] == '0' && (last[1] == 'x' || last[1] == 'X');
    return std::all_of(last.begin() + (hex ? 2 : 0), last.end(), hex ? isHexDigit : isDigit);
}

// Labels of 1 to 63 letters, digits and hyphens, none starting or ending
// with a hyphen, 253 in all; the last not a number, so that no resolver
// takes the name for an address ("0x7f.1", "10.0.0.5.").
bool isDnsName(const std::string& written) {
    const std::string name = withoutTrailingDot(written);
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
        } else if (isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-') {
            ++label;
        } else {
            return false;
        }
    }
    return !endsInNumber(name);
}

// Four decimal numbers 0 to 255, no leading zeros ("010" is octal to some).
bool isIpv4(const std::string& text) {
    int parts = 0;
    std::size_t from = 0;
    for (;; ++parts) {
        const std::size_t dot = text.find('.', from);
        const std::string part = text.substr(from, dot == std::string::npos ? dot : dot - from);
        if (part.empty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), isDigit) ||
            (part.size() > 1 && part[0] == '0') || (part.size() == 3 && part > "255")) {
            return false;
        }
        if (dot == std::string::npos) {
            return parts == 3;
        }
        from = dot + 1;
    }
}

// One side of an IPv6 address's "::": groups of one to four hex digits
// between single colons, the address's last two written as IPv4 if `last`.
bool addGroups(const std::string& side, bool last, int& count) {
    for (std::size_t from = 0; !side.empty();) {
        const std::size_t colon = side.find(':', from);
        const std::string group =
            side.substr(from, colon == std::string::npos ? colon : colon - from);
        if (colon == std::string::npos && last && group.find('.') != std::string::npos) {
            count += 2;
            return isIpv4(group);
        }
        if (group.empty() || group.size() > 4 ||
            !std::all_of(group.begin(), group.end(), isHexDigit)) {
            return false;
        }
        ++count;
        if (colon == std::string::npos) {
            break;
        }
        from = colon + 1;
    }
    return true;
}

// RFC 4291 section 2.2: eight groups, or fewer around one "::"; no zone.
bool isIpv6(const std::string& text) {
    const std::size_t gap = text.find("::");
    if (gap != std::string::npos && text.find("::", gap + 1) != std::string::npos) {
        return false;
    }
    const bool compressed = gap != std::string::npos;
    int count = 0;
    const bool sides = addGroups(compressed ? text.substr(0, gap) : text, !compressed, count) &&
                       (!compressed || addGroups(text.substr(gap + 2), true, count));
    return sides && (compressed ? count <= 7 : count == 8);
}

} // namespace

bool isIpLiteral(const std::string& host) {
    return host.find(':') != std::string::npos ? isIpv6(host) : isIpv4(host);
}

bool isHostName(const std::string& host) {
    return isIpLiteral(host) || isDnsName(host);
}

bool isHostPattern(const std::string& entry) {
    return entry.compare(0, 2, "*.") == 0 ? isDnsName(entry.substr(2)) : isHostName(entry);
}

bool hostAllowed(const std::string& host, const std::vector<std::string>& entries) {
    if (!isHostName(host)) {
        return false;
    }
    const bool ip = isIpLiteral(host);
    const std::string name = ip ? lower(host) : withoutTrailingDot(lower(host));
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
