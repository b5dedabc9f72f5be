// The variables the launcher hands the client: every SPICE_ one and
// G_MESSAGES_DEBUG, as this process received them.
#pragma once

#include "transcript.h"

namespace standin {

void recordEnvironment(Transcript& transcript);

} // namespace standin
