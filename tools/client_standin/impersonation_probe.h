// What a server on the controller pipe could do as the writer's user: a
// launcher that opens the pipe with identification-only quality of service
// gives nothing more than identification.
#pragma once

#include <windows.h>

#include <string>

namespace standin {

// "anonymous", "identification", "impersonation" or "delegation", or
// "unavailable: ..." with the call that failed.
std::string probeImpersonation(HANDLE pipe);

} // namespace standin
