#include "ticket.h"

namespace handler {

Refusal checkLifetime(const Connection& connection, std::int64_t now) {
    if (connection.expires != kNoTime && now - connection.expires > kClockSkewSeconds) {
        return Refusal::Expired;
    }
    if (connection.notBefore != kNoTime && connection.notBefore - now > kClockSkewSeconds) {
        return Refusal::NotYetValid;
    }
    if (connection.expires != kNoTime && connection.expires - now > kLongestLifeSeconds) {
        return Refusal::TooLongLived;
    }
    return Refusal::None;
}

std::string ticketKey(const Connection& connection) {
    return connection.ticketId;
}

Refusal useTicket(const Connection& connection, std::int64_t now, RecordUse record,
                  unsigned long& error) {
    error = 0;
    if (connection.ticketId.empty()) {
        return Refusal::None;
    }
    // Kept while the ticket could still be let in; one without "exp" (never
    // a trusted publisher's) as long as the longest a ticket may live.
    const std::int64_t until =
        (connection.expires != kNoTime ? connection.expires : now + kLongestLifeSeconds) +
        kClockSkewSeconds;
    switch (record(ticketKey(connection), until, now, error)) {
    case Use::First:
        return Refusal::None;
    case Use::Again:
        error = 0; // the book's "it exists" is no failure to report
        return Refusal::AlreadyUsed;
    case Use::NotRecorded:
        break;
    }
    return Refusal::NotRecorded;
}

} // namespace handler
