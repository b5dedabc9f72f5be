#include "connection_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace handler {

namespace {

enum class Kind { Null, Boolean, Number, String, Array, Object };

// One member of the top-level object. Nested values are only checked for
// syntax: no member of a connection file holds one.
struct Member {
    std::string name;
    Kind kind = Kind::Null;
    std::string text; // a string's decoded UTF-8, a number's literal
};

constexpr int kMaxDepth = 64;

// A strict RFC 8259 reader over the whole input; any syntax error, invalid
// UTF-8 or lone surrogate makes the input "not JSON".
class Reader {
public:
    explicit Reader(const std::string& input) : in_(input) {}

    bool readTopObject(bool& isObject, std::vector<Member>& members) {
        space();
        isObject = peek() == '{';
        if (!isObject) {
            return value(0, nullptr) && end();
        }
        ++at_;
        space();
        if (peek() == '}') {
            ++at_;
            return end();
        }
        for (;;) {
            Member member;
            space();
            if (!string(member.name)) {
                return false;
            }
            space();
            if (!expect(':')) {
                return false;
            }
            space();
            if (!value(1, &member)) {
                return false;
            }
            members.push_back(member);
            space();
            if (expect('}')) {
                return end();
            }
            if (!expect(',')) {
                return false;
            }
        }
    }

private:
    char peek() const { return at_ < in_.size() ? in_[at_] : '\0'; }
    bool expect(char c) {
        if (at_ < in_.size() && in_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    void space() {
        while (at_ < in_.size() &&
               (in_[at_] == ' ' || in_[at_] == '\t' || in_[at_] == '\n' || in_[at_] == '\r')) {
            ++at_;
        }
    }
    bool end() {
        space();
        return at_ == in_.size();
    }
    bool literal(const char* word) {
        const std::size_t length = std::strlen(word);
        if (in_.compare(at_, length, word) != 0) {
            return false;
        }
        at_ += length;
        return true;
    }

    // `member`, when given, receives the value's kind and scalar text.
    bool value(int depth, Member* member) {
        Kind kind = Kind::Null;
        std::string text;
        bool ok = false;
        switch (peek()) {
        case '{':
            kind = Kind::Object;
            ok = container(depth, '}', true);
            break;
        case '[':
            kind = Kind::Array;
            ok = container(depth, ']', false);
            break;
        case '"':
            kind = Kind::String;
            ok = string(text);
            break;
        case 't':
        case 'f':
            kind = Kind::Boolean;
            ok = literal(peek() == 't' ? "true" : "false");
            break;
        case 'n':
            ok = literal("null");
            break;
        default:
            kind = Kind::Number;
            ok = number(text);
        }
        if (ok && member != nullptr) {
            member->kind = kind;
            member->text = text;
        }
        return ok;
    }

    bool container(int depth, char close, bool named) {
        if (depth >= kMaxDepth) {
            return false;
        }
        ++at_;
        space();
        if (expect(close)) {
            return true;
        }
        for (;;) {
            space();
            std::string name;
            if (named && !(string(name) && (space(), expect(':')))) {
                return false;
            }
            space();
            if (!value(depth + 1, nullptr)) {
                return false;
            }
            space();
            if (expect(close)) {
                return true;
            }
            if (!expect(',')) {
                return false;
            }
        }
    }

    bool digits() {
        const std::size_t from = at_;
        while (at_ < in_.size() && in_[at_] >= '0' && in_[at_] <= '9') {
            ++at_;
        }
        return at_ > from;
    }

    bool number(std::string& text) {
        const std::size_t from = at_;
        (void)expect('-');
        if (peek() == '0') {
            ++at_;
        } else if (!digits()) {
            return false;
        }
        if (expect('.') && !digits()) {
            return false;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++at_;
            if (!expect('+')) {
                (void)expect('-');
            }
            if (!digits()) {
                return false;
            }
        }
        text = in_.substr(from, at_ - from);
        return true;
    }

    bool hex4(unsigned& unit) {
        unit = 0;
        for (int i = 0; i < 4; ++i, ++at_) {
            const char c = peek();
            const unsigned digit = c >= '0' && c <= '9'   ? unsigned(c - '0')
                                   : c >= 'a' && c <= 'f' ? unsigned(c - 'a' + 10)
                                   : c >= 'A' && c <= 'F' ? unsigned(c - 'A' + 10)
                                                          : 16U;
            if (digit == 16) {
                return false;
            }
            unit = unit * 16 + digit;
        }
        return true;
    }

    static void putUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool escape(std::string& out) {
        const char c = peek();
        ++at_;
        static const char kPlain[] = "\"\\/bfnrt";
        static const char kMeaning[] = "\"\\/\b\f\n\r\t";
        const char* found = c != '\0' ? std::strchr(kPlain, c) : nullptr;
        if (found != nullptr) {
            out += kMeaning[found - kPlain];
            return true;
        }
        unsigned unit = 0;
        if (c != 'u' || !hex4(unit) || (unit >= 0xDC00 && unit < 0xE000)) {
            return false;
        }
        if (unit >= 0xD800 && unit < 0xDC00) {
            unsigned low = 0;
            if (!literal("\\u") || !hex4(low) || low < 0xDC00 || low >= 0xE000) {
                return false;
            }
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        putUtf8(out, unit);
        return true;
    }

    // One UTF-8 sequence, copied when it is well-formed (no overlong forms,
    // no surrogates, nothing past U+10FFFF).
    bool utf8(std::string& out) {
        const auto lead = static_cast<unsigned char>(in_[at_]);
        const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
        if (extra < 0 || lead > 0xF4 || at_ + std::size_t(extra) >= in_.size()) {
            return false;
        }
        unsigned code = lead & (0x3F >> extra);
        for (int i = 1; i <= extra; ++i) {
            const auto next = static_cast<unsigned char>(in_[at_ + std::size_t(i)]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = code << 6 | (next & 0x3F);
        }
        static const unsigned kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (code < kLeast[extra] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
            return false;
        }
        out.append(in_, at_, std::size_t(extra) + 1);
        at_ += std::size_t(extra) + 1;
        return true;
    }

    bool string(std::string& out) {
        if (!expect('"')) {
            return false;
        }
        while (at_ < in_.size()) {
            const auto c = static_cast<unsigned char>(in_[at_]);
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c < 0x20) {
                return false;
            }
            if (c == '\\') {
                ++at_;
                if (!escape(out)) {
                    return false;
                }
            } else if (c >= 0x80) {
                if (!utf8(out)) {
                    return false;
                }
            } else {
                out += static_cast<char>(c);
                ++at_;
            }
        }
        return false;
    }

    const std::string& in_;
    std::size_t at_ = 0;
};

// A JSON number's value when it is a whole number from 1 to 65535 (443,
// 443.0 and 4.43e2 alike, as JSON Schema's "integer" takes them).
Refusal portValue(const std::string& literal, long& port) {
    std::size_t at = literal[0] == '-' ? 1 : 0;
    const bool negative = at == 1;
    std::string significant;
    long exponent = 0;
    bool fraction = false;
    for (; at < literal.size() && literal[at] != 'e' && literal[at] != 'E'; ++at) {
        if (literal[at] == '.') {
            fraction = true;
        } else {
            significant += literal[at];
            exponent -= fraction ? 1 : 0;
        }
    }
    if (at < literal.size()) {
        long stated = 0;
        const bool down = literal[at + 1] == '-';
        for (std::size_t i = at + 1; i < literal.size(); ++i) {
            if (literal[i] >= '0' && literal[i] <= '9' && stated < 100000) {
                stated = stated * 10 + (literal[i] - '0');
            }
        }
        exponent += down ? -stated : stated;
    }
    significant.erase(0, significant.find_first_not_of('0'));
    while (!significant.empty() && significant.back() == '0') {
        significant.pop_back();
        ++exponent;
    }
    if (significant.empty()) {
        return Refusal::PortRange; // zero
    }
    if (exponent < 0) {
        return Refusal::NotInteger;
    }
    if (negative || significant.size() + std::size_t(exponent) > 5) {
        return Refusal::PortRange;
    }
    long value = 0;
    for (const char digit : significant) {
        value = value * 10 + (digit - '0');
    }
    for (long i = 0; i < exponent; ++i) {
        value *= 10;
    }
    if (value > 65535) {
        return Refusal::PortRange;
    }
    port = value;
    return Refusal::None;
}

// Host and Ca are texts that must not be empty; Ca is kept as given, as it
// goes into a file, not into the launcher's environment. CaFile is a path
// the client opens.
enum class Shape { Version, Port, Host, Text, CaFile, Ca };

struct Field {
    const char* name;
    Shape shape;
    std::string Connection::*text;
    long Connection::*number;
};

constexpr Field kFields[] = {
    {"version", Shape::Version, nullptr, nullptr},
    {"host", Shape::Host, &Connection::host, nullptr},
    {"port", Shape::Port, nullptr, &Connection::port},
    {"securePort", Shape::Port, nullptr, &Connection::securePort},
    {"password", Shape::Text, &Connection::password, nullptr},
    {"title", Shape::Text, &Connection::title, nullptr},
    {"caFile", Shape::CaFile, &Connection::caFile, nullptr},
    {"ca", Shape::Ca, &Connection::ca, nullptr},
    {"hostSubject", Shape::Text, &Connection::hostSubject, nullptr},
};

// Whether a JSON number is zero or negative ("-0" included).
bool belowOne(const std::string& literal) {
    const std::string significand = literal.substr(0, literal.find_first_of("eE"));
    return literal[0] == '-' || significand.find_first_of("123456789") == std::string::npos;
}

// A full path on a drive letter, "X:\\...": the client opens it when it
// connects, and a network path would have Windows connect to a stranger's
// server and sign in there as the user. So no "\\\\" (UNC, "\\\\?\\",
// "\\\\.\\"), nothing relative, and no ':' past the drive's (an alternate
// data stream, or a device).
bool isLocalPath(const std::string& path) {
    const char drive = path.empty() ? '\0' : path[0];
    const bool letter = (drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z');
    return letter && path.compare(1, 2, ":\\") == 0 && path.find(':', 2) == std::string::npos;
}

Refusal checkMember(const Member& member, const Field& field, ToAnsi toAnsi,
                    Connection& connection) {
    const bool numeric = field.shape == Shape::Version || field.shape == Shape::Port;
    if (member.kind != (numeric ? Kind::Number : Kind::String)) {
        return Refusal::WrongType;
    }
    if (field.shape == Shape::Version) {
        long version = 0;
        const Refusal refusal = portValue(member.text, version);
        return refusal == Refusal::NotInteger ? refusal
               : belowOne(member.text)        ? Refusal::VersionBelowOne
               : version == 1                 ? Refusal::None
                                              : Refusal::WrongVersion;
    }
    if (field.shape == Shape::Port) {
        return portValue(member.text, connection.*field.number);
    }
    if (member.text.find('\0') != std::string::npos) {
        return Refusal::HoldsNul;
    }
    std::string& text = connection.*field.text;
    if (field.shape == Shape::Ca) {
        text = member.text;
        return text.empty() ? Refusal::Empty : Refusal::None;
    }
    if (field.shape == Shape::CaFile && !member.text.empty() && !isLocalPath(member.text)) {
        return Refusal::NotLocalPath;
    }
    if (!toAnsi(member.text, text)) {
        return Refusal::NotInCodePage;
    }
    if (text.size() > kMaxValueBytes) {
        return Refusal::TooLong;
    }
    const bool required = field.shape == Shape::Host || field.shape == Shape::CaFile;
    return required && text.empty() ? Refusal::Empty : Refusal::None;
}

bool lowerEquals(const std::string& text, const char* lower, std::size_t length) {
    if (text.size() < length) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? char(text[i] - 'A' + 'a') : text[i];
        if (c != lower[i]) {
            return false;
        }
    }
    return true;
}

int base64urlValue(char c) {
    return c >= 'A' && c <= 'Z'   ? c - 'A'
           : c >= 'a' && c <= 'z' ? c - 'a' + 26
           : c >= '0' && c <= '9' ? c - '0' + 52
           : c == '-'             ? 62
           : c == '_'             ? 63
                                  : -1;
}

} // namespace

Verdict readConnectionFile(const std::string& bytes, ToAnsi toAnsi, Connection& connection) {
    Verdict verdict;
    connection = Connection();
    if (bytes.size() > kMaxFileSize) {
        verdict.refusal = Refusal::TooLarge;
        return verdict;
    }
    const bool bom = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    const std::string json = bom ? bytes.substr(3) : bytes;
    bool isObject = false;
    std::vector<Member> members;
    if (!Reader(json).readTopObject(isObject, members)) {
        verdict.refusal = Refusal::NotJson;
        return verdict;
    }
    if (!isObject) {
        verdict.refusal = Refusal::NotObject;
        return verdict;
    }
    for (const Member& member : members) {
        verdict.holdsPassword = verdict.holdsPassword || member.name == "password";
    }
    auto refuse = [&verdict](Refusal refusal, const std::string& member) {
        verdict.refusal = refusal;
        verdict.member = member;
        return verdict;
    };
    std::vector<std::string> seen;
    for (const Member& member : members) {
        const Field* field = nullptr;
        for (const Field& known : kFields) {
            field = member.name == known.name ? &known : field;
        }
        if (field == nullptr) {
            return refuse(Refusal::UnknownMember, member.name);
        }
        if (std::find(seen.begin(), seen.end(), member.name) != seen.end()) {
            return refuse(Refusal::Duplicate, member.name);
        }
        seen.push_back(member.name);
        const Refusal refusal = checkMember(member, *field, toAnsi, connection);
        if (refusal != Refusal::None) {
            return refuse(refusal, member.name);
        }
    }
    auto given = [&seen](const char* name) {
        return std::find(seen.begin(), seen.end(), name) != seen.end();
    };
    if (!given("version")) {
        return refuse(Refusal::Missing, "version");
    }
    if (!given("host")) {
        return refuse(Refusal::Missing, "host");
    }
    if (!given("port") && !given("securePort")) {
        return refuse(Refusal::NoPort, "port");
    }
    if (given("ca") && given("caFile")) {
        return refuse(Refusal::BothCa, "ca");
    }
    return verdict;
}

bool isLink(const std::string& argument) {
    return lowerEquals(argument, kLinkScheme, sizeof kLinkScheme - 1);
}

bool decodeLink(const std::string& link, std::string& bytes) {
    std::string payload = link.substr(sizeof kLinkScheme - 1);
    const std::size_t padding = payload.find('=');
    if (padding != std::string::npos) {
        // Padding, where given, makes whole groups of four, and ends it.
        if (payload.size() % 4 != 0 || payload.size() - padding > 2 ||
            payload.find_first_not_of('=', padding) != std::string::npos) {
            return false;
        }
        payload.resize(padding);
    }
    if (payload.size() % 4 == 1) {
        return false;
    }
    bytes.clear();
    unsigned bits = 0;
    int count = 0;
    for (const char c : payload) {
        const int value = base64urlValue(c);
        if (value < 0) {
            return false;
        }
        bits = (bits << 6 | unsigned(value)) & 0xFFFFFF;
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    // The last character's unused bits are zero in a canonical encoding.
    return (bits & ((1U << count) - 1)) == 0;
}

} // namespace handler
