// Whether AllowedHosts allows a host: an entry is a host name, matched
// exactly, or "*.example.org", which matches any name below example.org but
// not example.org itself; names compare without case, a trailing dot
// ignored. An IP literal matches only itself, and a host that is neither a
// DNS name nor an IP literal matches nothing, so that no spelling slips a
// host past the list.
#pragma once

#include <string>
#include <vector>

namespace policy {

bool hostAllowed(const std::string& host, const std::vector<std::string>& entries);

} // namespace policy
