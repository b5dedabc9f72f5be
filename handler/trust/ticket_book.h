// The user's book of tickets used: one empty file per ticket in the user's
// local application data (Corvane\Tickets), named by the SHA-256 of the
// ticket's key (its "jti"), its
// last-write time the moment it may go. Nothing else is in it: no host, no
// password. Made with CREATE_NEW, so that of two handlers opening one
// ticket at once exactly one records it; files past their time are removed
// whenever a new one is made.
#pragma once

#include "ticket.h"

#include <cstdint>
#include <string>

namespace handler {

// Seconds since 1970, UTC, by this computer's clock.
std::int64_t unixNow();

Use recordTicketUse(const std::string& key, std::int64_t keepUntil, std::int64_t now,
                    unsigned long& error);
// Whether the book holds it already: asked before a question, so that
// nobody is asked about a ticket that cannot open.
bool ticketRecorded(const std::string& key);

} // namespace handler
