// One run of a script: the whole work of executa_sql, on a given platform.
#pragma once

#include <ibase.h>

#include <string>

#include "SystemNames.h"

namespace tolvane {

class Platform;
class TSQLConnection;

// The fixed values of the runner's connection.
inline constexpr const char* kRunnerConnectionName = "IBConnection";
inline constexpr const char* kRunnerDriverName = "Interbase";
inline constexpr const char* kRunnerGetDriverFunc = "getSQLDriverINTERBASE";
inline constexpr const char* kRunnerLibraryName = system_names::kDriverLibrary;
inline constexpr const char* kRunnerVendorLib = system_names::kClientLibrary;
inline constexpr const char* kRunnerUserName = "SYSDBA";
inline constexpr const char* kRunnerPassword = "ravenquil";

// Gives a new component the runner's names and its parameter lines, in the
// order an open depends on: the connection name before the driver name, so
// that nothing set is wiped; the empty "ServerCharSet" and
// "ErrorResourceFile" remove nothing from a cleared list.
void ConfigureRunnerConnection(TSQLConnection& connection, const std::string& database_path);

// Reads the script from blob, runs each non-empty line on a connection of its
// own to database_path, writes a failure file for each line that fails, and
// returns "ok" (static) or an error text that stays valid until the calling
// thread's next run. Never throws. A null blob, handle or get-segment routine
// reads as an empty script; a null path as an empty path.
const char* RunScript(Platform& platform, const blobcallback* blob, const char* database_path);

}  // namespace tolvane
