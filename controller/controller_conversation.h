// The one conversation the launcher holds with the client: the opening
// record, one message for each connection parameter found in the launcher's
// own environment, then the requests to show the window and to connect.
//
// Nothing is read back and nothing can fail here: whatever the sink does with
// a block, every step runs, so the caller always goes on to wait for the
// client.
#pragma once

#include "controller_messages.h"

#include <cstdint>

namespace controller {

// Largest value taken from the environment; the buffer holds it and its NUL.
constexpr std::uint32_t kEnvironmentBufferSize = 1024;

// A value read from the environment, NUL-terminated.
struct EnvironmentValue {
    char text[kEnvironmentBufferSize];
};

// The value of a variable of the launcher's own environment. Unset and empty
// read alike, as "". A value of kEnvironmentBufferSize bytes or more is left
// out ("") rather than cut: a truncated host, password or file path would
// reach the client looking valid.
EnvironmentValue readEnvironmentValue(const char* name);

// Decimal port numbers read as strtol with base 10 in the POSIX locale:
// leading white space, one optional sign, digits up to the first non-digit.
// No digits gives 0. The result saturates at the signed 32-bit limits.
std::int32_t parseDecimal(const char* text);

enum class ParameterShape { Text, Number };

struct ForwardedParameter {
    const char* variable;
    std::uint32_t id;
    ParameterShape shape;
};

// Processed in this order, which is not the order of the ids: the client
// expects the title before the CA file and the host subject.
constexpr ForwardedParameter kForwardedParameters[] = {
    {"SPICE_HOST", CONTROLLER_HOST, ParameterShape::Text},
    {"SPICE_PORT", CONTROLLER_PORT, ParameterShape::Number},
    {"SPICE_SPORT", CONTROLLER_SPORT, ParameterShape::Number},
    {"SPICE_PASSWORD", CONTROLLER_PASSWORD, ParameterShape::Text},
    {"SPICE_TITLE", CONTROLLER_SET_TITLE, ParameterShape::Text},
    {"SPICE_CA_FILE", CONTROLLER_CA_FILE, ParameterShape::Text},
    {"SPICE_HOST_SUBJECT", CONTROLLER_HOST_SUBJECT, ParameterShape::Text},
};

template <typename Sink> void forwardParameters(Sink& sink) {
    sendInit(sink);
    for (const ForwardedParameter& parameter : kForwardedParameters) {
        // Read just before its message: the value is whatever the
        // environment holds at this moment.
        const EnvironmentValue value = readEnvironmentValue(parameter.variable);
        if (parameter.shape == ParameterShape::Text) {
            sendData(sink, parameter.id, value.text);
            continue;
        }
        const std::int32_t number = parseDecimal(value.text);
        if (number != 0) {
            sendValue(sink, parameter.id, number);
        }
    }
    sendMessage(sink, CONTROLLER_SHOW);
    sendMessage(sink, CONTROLLER_CONNECT);
}

} // namespace controller
