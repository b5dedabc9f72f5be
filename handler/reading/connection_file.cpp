#include "connection_file.h"

#include "base64.h"
#include "host_match.h"
#include "json_members.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace handler {

namespace {

// A JSON number's value when it is a whole number from 1 to 65535 (443,
// 443.0 and 4.43e2 alike, as JSON Schema's "integer" takes them).
Refusal portValue(const nlohmann::json& number, long& port) {
    if (number.is_number_unsigned()) {
        const auto value = number.get<std::uint64_t>();
        if (value == 0 || value > 65535) {
            return Refusal::PortRange;
        }
        port = static_cast<long>(value);
        return Refusal::None;
    }
    const double value = number.get<double>();
    if (value == 0 || number.is_number_integer()) {
        return Refusal::PortRange; // zero or negative
    }
    if (std::floor(value) != value) {
        return Refusal::NotInteger;
    }
    if (value < 1 || value > 65535) {
        return Refusal::PortRange;
    }
    port = static_cast<long>(value);
    return Refusal::None;
}

// Seconds since 1970, whole, from 0 to 2^53 (where a double stops being
// exact).
Refusal timeValue(const nlohmann::json& number, std::int64_t& time) {
    const double value = number.get<double>();
    if (std::floor(value) != value) {
        return Refusal::NotInteger;
    }
    if (number.is_number_integer() ? number.get<std::int64_t>() < 0 : value < 0) {
        return Refusal::NotATime;
    }
    if (number.is_number_unsigned() ? number.get<std::uint64_t>() > (1ull << 53)
                                    : value > 9007199254740992.0) {
        return Refusal::NotATime;
    }
    time = number.is_number_unsigned() ? static_cast<std::int64_t>(number.get<std::uint64_t>())
                                       : static_cast<std::int64_t>(value);
    return Refusal::None;
}

constexpr std::size_t kMaxTicketId = 128;

bool isTicketId(const std::string& id) {
    return !id.empty() && id.size() <= kMaxTicketId &&
           std::all_of(id.begin(), id.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

// Host and Ca are texts that must not be empty; Ca is kept as given, as it
// goes into a file, not into the launcher's environment. CaFile is a path
// the client opens. Time and Ticket are the ticket's claims.
enum class Shape { Version, Port, Host, Text, CaFile, Ca, Time, Ticket };

struct Field {
    const char* name;
    Shape shape;
    std::string Connection::*text;
    long Connection::*number;
    std::int64_t Connection::*time;
};

constexpr Field kFields[] = {
    {"version", Shape::Version, nullptr, nullptr, nullptr},
    {"host", Shape::Host, &Connection::host, nullptr, nullptr},
    {"port", Shape::Port, nullptr, &Connection::port, nullptr},
    {"securePort", Shape::Port, nullptr, &Connection::securePort, nullptr},
    {"password", Shape::Text, &Connection::password, nullptr, nullptr},
    {"title", Shape::Text, &Connection::title, nullptr, nullptr},
    {"caFile", Shape::CaFile, &Connection::caFile, nullptr, nullptr},
    {"ca", Shape::Ca, &Connection::ca, nullptr, nullptr},
    {"hostSubject", Shape::Text, &Connection::hostSubject, nullptr, nullptr},
    {"exp", Shape::Time, nullptr, nullptr, &Connection::expires},
    {"nbf", Shape::Time, nullptr, nullptr, &Connection::notBefore},
    {"jti", Shape::Ticket, &Connection::ticketId, nullptr, nullptr},
};

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
    const bool numeric =
        field.shape == Shape::Version || field.shape == Shape::Port || field.shape == Shape::Time;
    if (numeric ? !member.value.is_number() : !member.value.is_string()) {
        return Refusal::WrongType;
    }
    if (field.shape == Shape::Version) {
        const double version = member.value.get<double>();
        return std::floor(version) != version ? Refusal::NotInteger
               : version <= 0                 ? Refusal::VersionBelowOne
               : version == 1                 ? Refusal::None
                                              : Refusal::WrongVersion;
    }
    if (field.shape == Shape::Port) {
        return portValue(member.value, connection.*field.number);
    }
    if (field.shape == Shape::Time) {
        return timeValue(member.value, connection.*field.time);
    }
    const std::string& utf8 = member.value.get_ref<const std::string&>();
    if (utf8.find('\0') != std::string::npos) {
        return Refusal::HoldsNul;
    }
    std::string& text = connection.*field.text;
    if (field.shape == Shape::Ca) {
        text = utf8;
        return text.empty() ? Refusal::Empty : Refusal::None;
    }
    if (field.shape == Shape::CaFile && !utf8.empty() && !isLocalPath(utf8)) {
        return Refusal::NotLocalPath;
    }
    if (field.shape == Shape::Host && !utf8.empty() && !policy::isHostName(utf8)) {
        return Refusal::NotHostName;
    }
    if (field.shape == Shape::Ticket) {
        text = utf8;
        return isTicketId(utf8) ? Refusal::None : Refusal::NotTicketId;
    }
    if (!toAnsi(utf8, text)) {
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

} // namespace

Verdict readConnectionFile(const std::string& bytes, ToAnsi toAnsi, Connection& connection) {
    connection = Connection();
    Verdict verdict;
    std::vector<Member> members;
    verdict.refusal = bytes.size() > kMaxFileSize ? Refusal::TooLarge : notObject(bytes, members);
    return verdict.refusal == Refusal::None ? checkConnection(members, toAnsi, connection)
                                            : verdict;
}

Refusal notObject(const std::string& text, std::vector<Member>& members) {
    const JsonShape shape = readMembers(text, members);
    return shape == JsonShape::NotJson     ? Refusal::NotJson
           : shape == JsonShape::HoldsNul  ? Refusal::NulByte
           : shape == JsonShape::NotObject ? Refusal::NotObject
                                           : Refusal::None;
}

bool holdsPassword(const std::vector<Member>& members) {
    return std::any_of(members.begin(), members.end(),
                       [](const Member& member) { return member.name == "password"; });
}

Verdict checkConnection(const std::vector<Member>& members, ToAnsi toAnsi, Connection& connection) {
    Verdict verdict;
    connection = Connection();
    verdict.holdsPassword = holdsPassword(members);
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
    return decodeBase64url(link.substr(sizeof kLinkScheme - 1), Padding::Optional, bytes);
}

} // namespace handler
