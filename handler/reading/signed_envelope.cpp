#include "signed_envelope.h"

#include "base64.h"
#include "json_members.h"

namespace handler {

namespace {

const char* const kEnvelopeNames[] = {"protected", "payload", "signature", "header"};

Envelope refused(Refusal refusal, const std::string& member = "") {
    Envelope envelope;
    envelope.refusal = refusal;
    envelope.member = member;
    return envelope;
}

// The protected header: "alg" and "x5c", and "typ", which says nothing we
// act on. Anything else may be a rule the signer meant us to follow ("crit"
// says so outright), so it is refused rather than passed over.
Refusal readHeader(const std::string& encoded, Envelope& envelope) {
    std::string text;
    std::vector<Member> members;
    if (!decodeBase64url(encoded, Padding::Forbidden, text) ||
        readMembers(text, members) != JsonShape::Object) {
        return Refusal::SignatureMalformed;
    }
    bool algorithm = false;
    bool certificate = false;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const Member& member = members[i];
        envelope.member = member.name;
        for (std::size_t j = 0; j < i; ++j) {
            if (members[j].name == member.name) {
                return Refusal::SignatureMalformed;
            }
        }
        if (member.name == "alg") {
            const bool rsa = member.value == "RS256";
            if (!rsa && member.value != "ES256") {
                return Refusal::SignatureAlgorithm;
            }
            envelope.part.algorithm = rsa ? Algorithm::RS256 : Algorithm::ES256;
            algorithm = true;
        } else if (member.name == "x5c") {
            const nlohmann::json& chain = member.value;
            if (!chain.is_array() || chain.empty() || !chain[0].is_string() ||
                !decodeBase64(chain[0].get_ref<const std::string&>(), envelope.part.certificate)) {
                return Refusal::SignatureMalformed;
            }
            certificate = true;
        } else if (member.name != "typ" || !member.value.is_string()) {
            return Refusal::SignatureHeader;
        }
    }
    envelope.member = algorithm ? "x5c" : "alg";
    return algorithm && certificate ? Refusal::None : Refusal::SignatureMalformed;
}

// The payload is decoded first, so that a refused file's password is seen.
Envelope open(const std::string& header, const std::string& payload, const std::string& signature) {
    Envelope envelope;
    if (!decodeBase64url(payload, Padding::Forbidden, envelope.payload)) {
        return refused(Refusal::SignatureMalformed, "payload");
    }
    envelope.refusal = readHeader(header, envelope);
    if (envelope.refusal == Refusal::None) {
        envelope.member.clear();
        envelope.part.signingInput = header + "." + payload;
        if (!decodeBase64url(signature, Padding::Forbidden, envelope.part.signature)) {
            envelope.refusal = Refusal::SignatureMalformed;
            envelope.member = "signature";
        }
    }
    return envelope;
}

} // namespace

bool isEnvelope(const std::vector<Member>& members) {
    for (const Member& member : members) {
        for (const char* name : kEnvelopeNames) {
            if (member.name == name) {
                return true;
            }
        }
    }
    return false;
}

Envelope openEnvelope(const std::vector<Member>& members) {
    const char* const kParts[] = {"protected", "payload", "signature"};
    const std::string* texts[3] = {};
    Envelope envelope;
    for (const Member& member : members) {
        std::size_t part = 0;
        while (part < 3 && member.name != kParts[part]) {
            ++part;
        }
        if (part == 3) {
            envelope = refused(Refusal::SignatureMember, member.name);
        } else if (texts[part] != nullptr) {
            envelope = refused(Refusal::Duplicate, member.name);
        } else if (!member.value.is_string()) {
            envelope = refused(Refusal::WrongType, member.name);
        } else {
            texts[part] = &member.value.get_ref<const std::string&>();
            continue;
        }
        break;
    }
    for (std::size_t part = 0; part < 3 && envelope.refusal == Refusal::None; ++part) {
        if (texts[part] == nullptr) {
            envelope = refused(Refusal::Missing, kParts[part]);
        }
    }
    return envelope.refusal == Refusal::None ? open(*texts[0], *texts[1], *texts[2]) : envelope;
}

bool envelopeHoldsPassword(const std::vector<Member>& members) {
    if (holdsPassword(members)) {
        return true;
    }
    for (const Member& member : members) {
        const nlohmann::json& value = member.value;
        if (member.name != "payload") {
            continue;
        }
        std::string text;
        std::vector<Member> inside;
        const bool decoded =
            value.is_string() &&
            (decodeBase64url(value.get_ref<const std::string&>(), Padding::Optional, text) ||
             decodeBase64(value.get_ref<const std::string&>(), text));
        if ((value.is_object() && value.contains("password")) ||
            (decoded && notObject(text, inside) == Refusal::None && holdsPassword(inside))) {
            return true;
        }
    }
    return false;
}

bool isCompact(const std::string& linkPayload) {
    return linkPayload.find('.') != std::string::npos;
}

Envelope openCompact(const std::string& linkPayload) {
    const std::size_t first = linkPayload.find('.');
    const std::size_t second = linkPayload.find('.', first + 1);
    if (second == std::string::npos || linkPayload.find('.', second + 1) != std::string::npos) {
        return refused(Refusal::SignatureMalformed);
    }
    return open(linkPayload.substr(0, first), linkPayload.substr(first + 1, second - first - 1),
                linkPayload.substr(second + 1));
}

} // namespace handler
