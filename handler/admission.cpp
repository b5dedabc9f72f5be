#include "admission.h"

#include "host_match.h"

namespace handler {

namespace {

Admission refuse(Refusal refusal) {
    return {Action::Refuse, refusal};
}

} // namespace

Admission admit(const Reading& reading, const Connection& connection, const policy::Policy& policy,
                bool canAsk) {
    const bool trusted = reading.signedFile && policy::listsThumbprint(policy.trustedPublishers,
                                                                       reading.signer.thumbprint);
    if (trusted && !reading.signer.current) {
        return refuse(Refusal::NotCurrent);
    }
    const bool hostsListed = policy.allowedHosts.source != policy::Source::None;
    if (hostsListed && !policy::hostAllowed(connection.host, policy.allowedHosts.entries)) {
        return refuse(Refusal::HostNotAllowed);
    }
    if (trusted || hostsListed) {
        return {Action::Open, Refusal::None};
    }
    switch (policy::unverifiedAction(policy)) {
    case policy::kRefuse:
        return refuse(Refusal::Unverified);
    case policy::kOpen:
        return {Action::Open, Refusal::None};
    case policy::kAsk:
        break;
    }
    return canAsk ? Admission{Action::Ask, Refusal::None} : refuse(Refusal::NotAsked);
}

} // namespace handler
