// A signed connection file: JWS (RFC 7515) over the file's own bytes. A
// file is the flattened JSON serialization, exactly "protected", "payload"
// and "signature"; a link is the compact one, "header.payload.signature"
// after the scheme (base64url has no '.', so it is never a plain link). The
// protected header names the algorithm, RS256 or ES256, and holds the
// signer's certificate first in "x5c". Nothing here decides whether the
// signature is good: that is the signature check's.
#pragma once

#include "connection_file.h"

#include <string>
#include <vector>

namespace handler {

enum class Algorithm { RS256, ES256 };

// What a signature claims, and over which bytes.
struct SignedPart {
    Algorithm algorithm = Algorithm::RS256;
    std::string certificate;  // DER, the first of "x5c"
    std::string signingInput; // the protected header and payload, as written
    std::string signature;    // RS256: the RSA signature; ES256: R||S, 64 bytes
};

struct Envelope {
    Refusal refusal = Refusal::None;
    std::string member; // the header or envelope member to blame
    SignedPart part;
    std::string payload; // the connection file's bytes
};

// Whether a file's top-level members make a signed envelope rather than a
// connection file: any of the envelope's names, or JWS's "header".
bool isEnvelope(const std::vector<Member>& members);
Envelope openEnvelope(const std::vector<Member>& members);
// Whether a password stands anywhere a reader could find one: beside the
// envelope's members, or in any "payload", written twice or not, as a
// string in either base64 alphabet, padded or not, or as an object.
bool envelopeHoldsPassword(const std::vector<Member>& members);

// Whether a link's payload is the compact serialization.
bool isCompact(const std::string& linkPayload);
Envelope openCompact(const std::string& linkPayload);

} // namespace handler
