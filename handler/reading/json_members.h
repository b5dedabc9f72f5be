// The top-level members of a JSON text, read with nlohmann-json: strict
// RFC 8259 and UTF-8, one byte order mark allowed. A name written twice is
// kept twice, in the order written, so that the caller can refuse it: a
// JSON object library keeps only one of them.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace handler {

struct Member {
    std::string name;
    nlohmann::json value;
};

// HoldsNul: a NUL byte anywhere, which no JSON text has and where the
// library would stop reading, taking what follows for the end of the text.
enum class JsonShape { NotJson, HoldsNul, NotObject, Object };

JsonShape readMembers(const std::string& text, std::vector<Member>& members);

} // namespace handler
