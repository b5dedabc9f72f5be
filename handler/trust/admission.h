// What the policy makes of a file that was read and found sound: open it,
// ask the user first, or refuse it. A signature counts only when it
// verified, its signer is a trusted publisher and the signer's certificate
// is current, and a file it counts for must be a ticket (an "exp" and a
// "jti"). Any file's lifetime is held to this computer's clock.
// AllowedHosts, where set, bounds every file, signed or not, and vouches
// for the destination alone: a file it lets in that brings its own trust
// ("ca", "hostSubject") is one nobody vouches for.
#pragma once

#include "connection_reading.h"
#include "policy.h"

#include <cstdint>

namespace handler {

enum class Action { Open, Ask, Refuse };

// Why a file opens: the administrator's log says.
enum class Grounds { TrustedPublisher, AllowedHost, UnverifiedFiles, UserSaidYes };

struct Admission {
    Action action = Action::Open;
    Refusal refusal = Refusal::None; // why, when refused
    // For an allowed host, but with a certificate authority or subject of
    // the file's own: the question says so.
    bool ownAuthority = false;
    Grounds grounds = Grounds::UserSaidYes; // when opened; asked, once the user says Yes
};

// `canAsk`: false with --quiet, where nobody could answer; `now`: seconds
// since 1970, UTC.
Admission admit(const Reading& reading, const Connection& connection, const policy::Policy& policy,
                bool canAsk, std::int64_t now);

} // namespace handler
