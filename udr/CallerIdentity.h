// Who TOLVANE_RUN logs in as, and which targets that login can reach.
//
// Inside the server a plain path opens through the server's own engine,
// which takes a user name without a password: the run is the caller, with
// the caller's grants and role, and no password is kept anywhere. A target
// with a host goes through the network, where a login needs a password that
// the procedure does not have.
#pragma once

#include <string>
#include <string_view>

#include "script_runner/RunSettings.h"

namespace tolvane {

// Whether the server reads target as a connection through the network:
// host:path, host/port:path, [address]:path, protocol://..., \\host\path.
// On this platform any colon names a host.
bool TargetHasHost(std::string_view target);

// A user or role name as the attach parameters must carry it to mean exactly
// that name: plain upper-case names as they are, any other name in double
// quotes (the server upper-cases a bare name).
std::string AttachName(std::string_view name);

// The identity of a caller, without a password. role is the caller's
// CURRENT_ROLE; "NONE" and empty mean none.
RunIdentity CallerRunIdentity(std::string_view user, std::string_view role);

}  // namespace tolvane
