// The runner's own connection: the fixed names and login every run opens
// with unless its configuration says otherwise.
#pragma once

#include <string>

#include "SystemNames.h"

namespace tolvane {

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

// Gives a new component the runner's names and its parameter lines, in the
// order an open depends on: the connection name before the driver name, so
// that nothing set is wiped; the empty "ServerCharSet" and
// "ErrorResourceFile" remove nothing from a cleared list.
void ConfigureRunnerConnection(TSQLConnection& connection, const std::string& database_path);

}  // namespace tolvane
