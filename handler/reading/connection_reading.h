// A file or link read whole: a plain connection file, or one signed, whose
// signature the verifier that is handed in checks (Windows' cryptography in
// the handler, a stand-in in the fuzzer). What the policy makes of it is
// the admission's.
#pragma once

#include "connection_file.h"
#include "signed_envelope.h"

#include <string>

namespace handler {

enum class Check {
    Verified,       // the certificate's key signed exactly these bytes
    DoesNotVerify,  // it did not
    WrongKey,       // the algorithm does not fit the key, or the key is too weak
    BadCertificate, // no certificate Windows can read
    NoEcdsa,        // ES256, and this Windows has no ECDSA to check it with
};

// Who signed: the certificate's SHA-256 thumbprint in lower-case hex, and
// whether today is within its validity period.
struct Signer {
    std::string thumbprint;
    bool current = false;
};

// Fills `signer` from the certificate whatever it answers.
using Verify = Check (*)(const SignedPart& part, Signer& signer);

struct Reading {
    Verdict verdict;
    bool signedFile = false; // signed, and the signature verified
    Signer signer;
};

Reading readFileBytes(const std::string& bytes, ToAnsi toAnsi, Verify verify,
                      Connection& connection);
Reading readLink(const std::string& link, ToAnsi toAnsi, Verify verify, Connection& connection);

} // namespace handler
