// The module's configuration, udftolvane.conf: what a server's administrator
// sets for every call of the function. Firebird's own format: "name = value"
// lines, "#" starts a comment (outside double quotes), names in any letter
// case, a value in double quotes taken as written.
//
//   user, password, role      the module's login (default: its built-in one)
//   password_file             the password as the first line of that file
//   allowed_databases         ";"-separated absolute paths, folders (ending
//                             in "/"), patterns (* ? [..]) and aliases
//   deny_security_database    yes | no (default no)
//   failure_dir, run_log_dir  absolute folders
//   lock_timeout              seconds | nowait
//   default_options           an options text (RunOptions.h)
//   procedure_identity        caller | module (default caller)
//   max_runs_per_user         runs one user may have active at once in the
//                             server process (default 16, at most 128)
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/Exceptions.h"
#include "script_runner/engine/RunSettings.h"

namespace tolvane {

// A configuration that cannot be used; the message names the file, the line
// when there is one, and the problem.
class EModuleConfig : public Exception {
  using Exception::Exception;
};

// A value and the line it was set on; line 0: not set.
template <class T>
struct ConfigSetting {
  T value{};
  int line = 0;
  bool IsSet() const { return line > 0; }
};

enum class ProcedureIdentity { kCaller, kModule };

struct ModuleConfig {
  std::string file;  // where it was read
  ConfigSetting<std::string> user;
  ConfigSetting<std::string> password;
  ConfigSetting<std::string> role;
  ConfigSetting<std::string> password_file;
  ConfigSetting<std::vector<std::string>> allowed_databases;  // entries, in file order
  ConfigSetting<bool> deny_security_database;
  ConfigSetting<std::string> failure_dir;
  ConfigSetting<std::string> run_log_dir;
  ConfigSetting<int> lock_timeout;  // seconds, 0 = no limit, kLockNoWait
  ConfigSetting<std::string> default_options;
  ConfigSetting<ProcedureIdentity> procedure_identity;
  ConfigSetting<int> max_runs_per_user;

  // True when a setting of the login is given.
  bool SetsIdentity() const {
    return user.IsSet() || password.IsSet() || role.IsSet() || password_file.IsSet();
  }
};

// The settings of text, read from file (named in messages). Pure: touches
// nothing but its arguments. An unknown name, a bad value, a name given twice
// or a line without "=" raises EModuleConfig naming file and line.
ModuleConfig ParseModuleConfig(std::string_view text, const std::string& file);

// "Configuration <file>, line <n>: <problem>" (no line part for line 0).
std::string ConfigProblem(const std::string& file, int line, std::string_view problem);

// RunSettings{} with default_options applied (already checked by the parse).
RunSettings ConfiguredDefaults(const ModuleConfig& config);

}  // namespace tolvane
