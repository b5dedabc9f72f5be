// The connection handler's policy as the check tool reports it: which
// policies are set and where (machine or user), and what the handler cannot
// use (a thumbprint that is not one, UnverifiedFiles out of range).
#pragma once

#include "policy.h"
#include "report.h"

namespace check {

void checkPolicy(Report& report, const policy::Policy& policy);

} // namespace check
