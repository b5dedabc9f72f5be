// Whether a signed file's certificate signed it, with Windows' own
// cryptography: CryptoAPI for the certificate, SHA-256 and RS256 (XP SP3
// has them all), CNG for ES256 (Vista and later, looked up at run time, so
// that XP still loads the handler and refuses such a file). The
// certificate is pinned by its thumbprint, so no chain is built.
#pragma once

#include "connection_reading.h"

namespace handler {

Check verifySignature(const SignedPart& part, Signer& signer);
// SHA-256 in lower-case hex; empty if this Windows cannot hash.
std::string sha256Hex(const std::string& data);

} // namespace handler
