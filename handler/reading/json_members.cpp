#include "json_members.h"

namespace handler {

namespace {

// Deeper nesting is no connection file's, and is refused before it costs.
constexpr int kMaxDepth = 64;

} // namespace

JsonShape readMembers(const std::string& text, std::vector<Member>& members) {
    using Json = nlohmann::json;
    using Event = Json::parse_event_t;
    members.clear();
    if (text.find('\0') != std::string::npos) {
        return JsonShape::HoldsNul;
    }
    bool tooDeep = false;
    // Depth 1 is inside the top-level value: its keys, and the values that
    // follow them (a nested value when it ends).
    auto record = [&members, &tooDeep](int depth, Event event, Json& parsed) {
        if ((event == Event::object_start || event == Event::array_start) && depth >= kMaxDepth) {
            tooDeep = true;
            return false;
        }
        if (depth == 1 && event == Event::key) {
            members.push_back({parsed.get<std::string>(), Json()});
        } else if (depth == 1 && !members.empty() &&
                   (event == Event::value || event == Event::object_end ||
                    event == Event::array_end)) {
            members.back().value = parsed;
        }
        return true;
    };
    const Json top = Json::parse(text, record, false);
    if (top.is_discarded() || tooDeep) {
        members.clear();
        return JsonShape::NotJson;
    }
    return top.is_object() ? JsonShape::Object : JsonShape::NotObject;
}

} // namespace handler
