// Every decision about a file or link, on the administrator's record: an
// event in the Application log, under the source the MSI registers, in the
// user's name. One a run, and a second only when a console that was opened
// could not be started after all. Event Viewer reads each event's words
// from the message table compiled into this program (decision_events.mc);
// the event itself holds the facts, as insertion strings. A log that
// cannot be written changes no decision.
#pragma once

#include "admission.h"
#include "console_start.h"
#include "messages.h"

#include <string>

namespace handler {

// What every event says of the file or link, as far as it was read: where
// it came from (its path, or "link"), its host and ports, its signer and
// its ticket. Never its password, its CA or a link's own text.
struct Facts {
    std::wstring from;
    const Connection& connection;
    const Reading& reading;
};

void logOpened(const Facts& facts, Grounds grounds);
void logDeclined(const Facts& facts);
// `error`: Windows' error code, for a ticket whose use could not be recorded.
void logRefused(const Facts& facts, const Verdict& verdict, unsigned long error = 0);
void logUnreadable(const Facts& facts, unsigned long error);
// `problem`: what the check found, where the launcher ran but failed.
void logNotStarted(const Facts& facts, const ConsoleRun& run,
                   LaunchProblem problem = LaunchProblem::NotStarted);

} // namespace handler
