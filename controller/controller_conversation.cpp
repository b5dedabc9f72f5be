#include "controller_conversation.h"

#include "environment_query.h"

#include <climits>

namespace controller {

EnvironmentValue readEnvironmentValue(const char* name) {
    EnvironmentValue value;
    const std::uint32_t result = queryEnvironment(name, value.text, sizeof value.text);
    // Past the buffer the platform reports the size it would need and
    // delivers no value; nothing of the buffer may be used then.
    value.text[result < sizeof value.text ? result : 0] = '\0';
    return value;
}

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::int32_t parseDecimal(const char* text) {
    while (isSpace(*text)) {
        ++text;
    }
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    // The magnitude is capped one past INT32_MAX's, enough to decide both
    // saturations, so it never overflows however many digits follow.
    constexpr std::int64_t cap = std::int64_t{INT32_MAX} + 1;
    std::int64_t magnitude = 0;
    for (; isDigit(*text); ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > cap) {
            magnitude = cap;
        }
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    return static_cast<std::int32_t>(value);
}

} // namespace controller
