// Whether the handler's events reach Event Viewer in words: its event
// source registered, and the message file it names there on this disk.
// Without either the events are still written, their words missing.
#pragma once

#include "report.h"

namespace check {

void checkEventSource(Report& report);

} // namespace check
