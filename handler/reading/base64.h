// RFC 4648's two alphabets: base64url (section 5), which links and signed
// files carry, and standard base64 (section 4), which a signature's header
// holds certificates in. Only canonical encodings are taken: no white
// space, no characters outside the alphabet, the last character's unused
// bits zero.
#pragma once

#include <string>

namespace handler {

enum class Padding { Optional, Forbidden, Required };

bool decodeBase64url(const std::string& text, Padding padding, std::string& bytes);
bool decodeBase64(const std::string& text, std::string& bytes);

} // namespace handler
