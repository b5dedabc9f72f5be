// The variables the launcher hands the client: every SPICE_ one and
// G_MESSAGES_DEBUG, as this process received them, in the ANSI code page
// and in UTF-16; and CORVANE_PROBE, a test's own.
#pragma once

#include "transcript.h"

namespace standin {

void recordEnvironment(Transcript& transcript);

} // namespace standin
