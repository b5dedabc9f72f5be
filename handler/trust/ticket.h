// A connection file as a ticket: it is good for minutes ("exp", "nbf") and
// opens one console per Windows user ("jti"), so that a file mailed on, or
// a link replayed from a browser's history, opens nothing. The lifetime is
// judged against this computer's clock, with the five minutes' skew
// Kerberos allows; the single use by a record made just before the console
// starts, so that a refused or declined file uses nothing up. The record
// itself is the ticket book's (Windows' in the handler, one in memory in
// the fuzzer), handed in.
#pragma once

#include "connection_reading.h"

#include <cstdint>
#include <string>

namespace handler {

constexpr std::int64_t kClockSkewSeconds = 5 * 60;
// A ticket is made at the click: one that claims to live longer is no
// ticket but a pass.
constexpr std::int64_t kLongestLifeSeconds = 24 * 60 * 60;

// Expired, NotYetValid, TooLongLived, or None; a file without "exp" or
// "nbf" has no lifetime to judge.
Refusal checkLifetime(const Connection& connection, std::int64_t now);

// What names a ticket in the book: its id alone, whoever signed it or
// nobody, so that a used ticket stripped of its signature is still used.
// The book keeps only a hash of it.
std::string ticketKey(const Connection& connection);

enum class Use { First, Again, NotRecorded };

// Records the ticket's use until `keepUntil` (seconds since 1970), at once
// and for good: First for exactly one of any number of callers at the same
// time. `error` says why, with NotRecorded.
using RecordUse = Use (*)(const std::string& key, std::int64_t keepUntil, std::int64_t now,
                          unsigned long& error);

// Just before the console starts: None, or AlreadyUsed, or NotRecorded
// with `error` (0 with the others). A file without "jti" records nothing.
Refusal useTicket(const Connection& connection, std::int64_t now, RecordUse record,
                  unsigned long& error);

} // namespace handler
