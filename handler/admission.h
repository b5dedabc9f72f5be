// What the policy makes of a file that was read and found sound: open it,
// ask the user first, or refuse it. A signature counts only when it
// verified, its signer is a trusted publisher and the signer's certificate
// is current; AllowedHosts, where set, bounds every file, signed or not.
#pragma once

#include "connection_reading.h"
#include "policy.h"

namespace handler {

enum class Action { Open, Ask, Refuse };

struct Admission {
    Action action = Action::Open;
    Refusal refusal = Refusal::None; // why, when refused
};

// `canAsk`: false with --quiet, where nobody could answer.
Admission admit(const Reading& reading, const Connection& connection, const policy::Policy& policy,
                bool canAsk);

} // namespace handler
