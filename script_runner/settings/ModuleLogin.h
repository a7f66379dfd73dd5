// A module login other than the built-in administrator has its own rights
// and no more. Attached by a plain path inside the server, a run is trusted
// under any name without a password, and so is a statement of it that opens
// another attachment (EXECUTE STATEMENT ... ON EXTERNAL ... AS USER): the run
// could step up to any login. Through the server's own port the password is
// checked, for the run's login and for every other one.
#pragma once

#include <string>

#include "script_runner/engine/RunSettings.h"

namespace tolvane {

class FirebirdConfig;

// SYSDBA, in any letter case: the login the module has always used, and
// whose runs keep attaching as they always have.
bool IsAdministratorLogin(const std::string& user);

// The spelling a run with identity attaches by on database_path: a plain
// path or alias as "localhost/<port>:<path>" (the port the server's
// RemoteServicePort gives; "localhost:<path>" for the default or an unknown
// one). Empty when the login is the administrator's, or database_path
// already names a server.
std::string BoundAttachPath(FirebirdConfig& firebird, const RunIdentity& identity,
                            const std::string& database_path);

}  // namespace tolvane
