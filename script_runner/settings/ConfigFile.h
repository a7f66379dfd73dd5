// Finding and reading udftolvane.conf, afresh on every call, so that a
// change applies to the next call without a restart.
#pragma once

#include <optional>
#include <string>

#include "script_runner/settings/ModuleConfig.h"
#include "script_runner/engine/RunSettings.h"

namespace tolvane {

class FirebirdConfig;
class Platform;

inline constexpr const char* kConfigFileName = "udftolvane.conf";
inline constexpr const char* kConfigFileVariable = "UDFTOLVANE_CONF";

// The folder the server reads firebird.conf from, links followed (so
// /etc/firebird/3.0 on Debian); empty when no Firebird server is in the
// process.
std::string ServerConfigFolder(Platform& platform, FirebirdConfig& firebird);

// The first of these that exists: $UDFTOLVANE_CONF, udftolvane.conf beside
// the module, udftolvane.conf in the server's configuration folder. Nothing
// when none exists. A password_file is read into password. Raises
// EModuleConfig when the file cannot be read or parsed, when it or the
// password file is not one only the server's owners control
// (TrustedFile.h), or when either lets others read a password.
std::optional<ModuleConfig> LoadModuleConfig(Platform& platform, FirebirdConfig& firebird);

// Firebird driver's own variable for the lock wait; where it is set, it wins
// over lock_timeout of the file.
inline constexpr const char* kDriverLockTimeoutVariable = "TOLVANE_LOCK_TIMEOUT";

// The settings every run of the function takes from config: default_options,
// then the login, failure_dir and lock_timeout (unless TOLVANE_LOCK_TIMEOUT
// is set).
RunSettings ConfiguredRunSettings(Platform& platform, const ModuleConfig& config);

// The login the configuration gives (each part not set keeps the module's
// built-in one); nothing when it sets none of user, password, role.
std::optional<RunIdentity> ModuleIdentity(const ModuleConfig& config);

// For the SQL procedure: true when procedure_identity = module, so that its
// runs log in with ModuleIdentity() (or the built-in login) instead of
// running on the caller's own attachment.
bool ProcedureRunsAsModule(const ModuleConfig& config);

}  // namespace tolvane
