// What tolvane-exec runs under: the configuration the module would read, the
// login, and every setting with where it came from (--show-settings).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "script_runner/settings/ConfigFile.h"
#include "script_runner/settings/SettingResolver.h"
#include "tools/ExecOptions.h"

namespace tolvane {
class Platform;
}

namespace tolvane::exec {

struct ExecConfig {
  std::optional<ModuleConfig> config;
  ConfigPlace place;  // where it was found; path empty: none is read
};

// --config FILE (which must exist), none with --no-config, else the first
// the module's own search finds, this program's module folder standing for
// the module's. Raises EModuleConfig as the module would, UsageError for a
// --config that names nothing.
ExecConfig FindExecConfig(Platform& platform, const ExecOptions& options);

struct ExecLogin {
  ResolvedValue user;
  ResolvedValue password;  // the text itself; never shown
  ResolvedValue role;
};

// The login: --user / --password-file / --role, else ISC_USER /
// ISC_PASSWORD, else the configuration's, else the module's built-in one.
ExecLogin ResolveLogin(Platform& platform, const ExecOptions& options, const ModuleConfig* config);

// The identity a run takes from login; nothing when every part is the
// built-in one (the run then logs in exactly as the module always has).
std::optional<RunIdentity> LoginIdentity(const ExecLogin& login);

// One line per setting of the table, "origin<TAB>name=value", the way
// git config --show-origin prints them; a password is never shown.
std::string ShowSettings(Platform& platform, const ExecOptions& options, const ExecConfig& found);

}  // namespace tolvane::exec
