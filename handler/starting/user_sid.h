// Who this handler runs as: the user's SID, for a file only they may open
// and for the events written in their name.
#pragma once

#include <windows.h>

#include <vector>

namespace handler {

// The SID in `buffer`, which holds the token's TOKEN_USER; nullptr if it
// cannot be had.
PSID currentUserSid(std::vector<BYTE>& buffer);

} // namespace handler
