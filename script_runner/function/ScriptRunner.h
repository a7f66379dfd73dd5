// One run of a script: the whole work of executa_sql, on a given platform.
#pragma once

#include <ibase.h>

#include <span>
#include <string>

#include "script_runner/engine/RunRequest.h"
#include "script_runner/engine/RunSettings.h"
#include "script_runner/engine/StatementOutcome.h"
#include "SystemNames.h"

namespace tolvane {

class FirebirdConfig;
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
inline constexpr const char* kRunnerRoleName = "RoleName";

// The server's environment variable that names the run-log folder.
inline constexpr const char* kRunLogFolderVariable = "UDFTOLVANE_RUN_LOG_DIR";

// Gives a new component the runner's names and its parameter lines, in the
// order an open depends on: the connection name before the driver name, so
// that nothing set is wiped; the empty "ServerCharSet" and
// "ErrorResourceFile" remove nothing from a cleared list.
void ConfigureRunnerConnection(TSQLConnection& connection, const std::string& database_path);

// The host's BLOB as a script source. A null blob, handle or get-segment
// routine reads as an empty script.
ScriptSource HostBlobSource(const blobcallback* blob);

// request run to its end as executa_sql runs it: "ok", or the text of the
// refusal or of the failure that ended the run. Raises nothing but a failure
// to allocate that text.
std::string RunToResultText(Platform& platform, FirebirdConfig& firebird, const RunRequest& request);

// Reads the script from blob and runs it to the end with settings, telling
// observers as it goes; returns the run's summary and result. Raises the
// failure of reading the script (memory), nothing else.
RunSummary RunBlob(Platform& platform, const blobcallback* blob, const std::string& database_path,
                   const RunSettings& settings, std::span<RunObserver* const> observers);

// Reads the script from blob, runs each non-empty line on a connection of its
// own to database_path, writes a failure file for each line that fails, and
// returns "ok" (static) or an error text that stays valid until the calling
// thread's next run. The module's configuration (ConfigFile.h), when there is
// one, is read first: a file that cannot be used, or a target its rules
// refuse, fails the call before any attach. Never throws. A null blob, handle or get-segment routine
// reads as an empty script; a null path as an empty path. caller is named in
// the run log; a call refused before its run starts is logged too.
const char* RunScript(Platform& platform, const blobcallback* blob, const char* database_path,
                      const RunCaller& caller = RunCaller{});
// As above, with firebird for the server's folders and settings instead of
// the server's own (ServerFirebirdConfig()).
const char* RunScript(Platform& platform, FirebirdConfig& firebird, const blobcallback* blob,
                      const char* database_path, const RunCaller& caller = RunCaller{});

}  // namespace tolvane
