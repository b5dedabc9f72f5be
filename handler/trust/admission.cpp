#include "admission.h"

#include "host_match.h"
#include "ticket.h"

namespace handler {

namespace {

Admission refuse(Refusal refusal) {
    return {Action::Refuse, refusal, false};
}

} // namespace

Admission admit(const Reading& reading, const Connection& connection, const policy::Policy& policy,
                bool canAsk, std::int64_t now) {
    const bool trusted = reading.signedFile && policy::listsThumbprint(policy.trustedPublishers,
                                                                       reading.signer.thumbprint);
    if (trusted && !reading.signer.current) {
        return refuse(Refusal::NotCurrent);
    }
    // Without both, a trusted file would be a pass that opens any number
    // of times, for as long as the portal's certificate lives.
    if (trusted && (connection.expires == kNoTime || connection.ticketId.empty())) {
        return refuse(Refusal::Unticketed);
    }
    const Refusal lifetime = checkLifetime(connection, now);
    if (lifetime != Refusal::None) {
        return refuse(lifetime);
    }
    const bool hostsListed = policy.allowedHosts.source != policy::Source::None;
    if (hostsListed && !policy::hostAllowed(connection.host, policy.allowedHosts.entries)) {
        return refuse(Refusal::HostNotAllowed);
    }
    if (trusted) {
        return {Action::Open, Refusal::None, false, Grounds::TrustedPublisher};
    }
    // The host is the administrator's; whom it must prove itself to is not.
    const bool ownAuthority = !connection.ca.empty() || !connection.hostSubject.empty();
    if (hostsListed && !ownAuthority) {
        return {Action::Open, Refusal::None, false, Grounds::AllowedHost};
    }
    switch (policy::unverifiedAction(policy)) {
    case policy::kRefuse:
        return refuse(Refusal::Unverified);
    case policy::kOpen:
        return {Action::Open, Refusal::None, false, Grounds::UnverifiedFiles};
    case policy::kAsk:
        break;
    }
    return canAsk ? Admission{Action::Ask, Refusal::None, hostsListed} : refuse(Refusal::NotAsked);
}

} // namespace handler
