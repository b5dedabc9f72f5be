#include "connection_reading.h"

#include "json_members.h"

namespace handler {

namespace {

Reading refused(Refusal refusal, const std::string& member = "") {
    Reading reading;
    reading.verdict.refusal = refusal;
    reading.verdict.member = member;
    return reading;
}

// `password`: whether the file, whatever its verdict, holds one.
Reading readSigned(const Envelope& envelope, bool password, ToAnsi toAnsi, Verify verify,
                   Connection& connection) {
    Reading reading = refused(envelope.refusal, envelope.member);
    if (envelope.refusal == Refusal::None) {
        const Check check = verify(envelope.part, reading.signer);
        const Refusal kRefusals[] = {Refusal::None, Refusal::SignatureInvalid, // in Check's order
                                     Refusal::SignatureKey, Refusal::SignatureMalformed,
                                     Refusal::NoEcdsa};
        reading.verdict.refusal = kRefusals[static_cast<int>(check)];
        reading.verdict.member = check == Check::BadCertificate ? "x5c" : "";
    }
    if (reading.verdict.refusal == Refusal::None) {
        // Only now is the payload the signer's: its own refusals come after.
        reading.verdict = readConnectionFile(envelope.payload, toAnsi, connection);
        reading.signedFile = reading.verdict.refusal == Refusal::None;
    }
    reading.verdict.holdsPassword = password;
    return reading;
}

} // namespace

Reading readFileBytes(const std::string& bytes, ToAnsi toAnsi, Verify verify,
                      Connection& connection) {
    connection = Connection();
    if (bytes.size() > kMaxFileSize) {
        return refused(Refusal::TooLarge);
    }
    std::vector<Member> members;
    const Refusal refusal = notObject(bytes, members);
    if (refusal != Refusal::None) {
        return refused(refusal);
    }
    if (isEnvelope(members)) {
        return readSigned(openEnvelope(members), envelopeHoldsPassword(members), toAnsi, verify,
                          connection);
    }
    Reading reading;
    reading.verdict = checkConnection(members, toAnsi, connection);
    return reading;
}

Reading readLink(const std::string& link, ToAnsi toAnsi, Verify verify, Connection& connection) {
    connection = Connection();
    const std::string payload = link.substr(sizeof kLinkScheme - 1);
    if (isCompact(payload)) {
        // A link is no file on disk: there is nothing to delete.
        return readSigned(openCompact(payload), false, toAnsi, verify, connection);
    }
    std::string bytes;
    if (!decodeLink(link, bytes)) {
        return refused(Refusal::BadLink);
    }
    Reading reading;
    reading.verdict = readConnectionFile(bytes, toAnsi, connection);
    return reading;
}

} // namespace handler
