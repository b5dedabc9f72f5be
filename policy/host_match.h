// What a connection file may name as its host, and whether AllowedHosts
// allows it. A host is an ASCII DNS name (letters, digits and hyphens in
// labels of 1 to 63, 253 in all, a trailing dot allowed, the last label not
// a number: decimal digits, or "0x" and hex digits) or an IP literal (IPv4 as
// four decimal numbers 0 to 255 without leading zeros, IPv6 in RFC 4291 text
// without a zone), so that what the user is shown is what the client
// connects to: no "2130706433", "0x7f000001", "127.1" or "10.0.0.5." that a
// resolver reads as another address, no '@',
// '/' or ':' that a URL parser splits, nothing outside ASCII that looks
// like another letter.
//
// An AllowedHosts entry is a host, matched exactly, or "*.example.org",
// which matches any name below example.org but not example.org itself;
// names compare without case, a trailing dot ignored. An IP literal matches
// only itself.
#pragma once

#include <string>
#include <vector>

namespace policy {

bool isHostName(const std::string& host);
bool isIpLiteral(const std::string& host);
// An entry AllowedHosts can use: a host, or "*." and a DNS name.
bool isHostPattern(const std::string& entry);
bool hostAllowed(const std::string& host, const std::vector<std::string>& entries);

} // namespace policy
