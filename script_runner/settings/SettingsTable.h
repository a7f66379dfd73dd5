// Every setting of the module, declared once: its name in udftolvane.conf,
// its environment variable, its name in an options text and on
// tolvane-exec's command line, its default, and who may set it. The parsers,
// the resolver (SettingResolver.h), tolvane-exec --show-settings, the
// configuration template and the README's table all follow these rows.
//
// Which source wins is the same for every setting, lowest first:
//   the default < the file's own setting < the environment variable
//   < the file's default_options < the run's options (or the tool's flags).
// A row takes part only in the sources it names.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tolvane {

enum class SettingId {
  kConfigFile,
  kConnectTimeout,
  kMode,
  kDialect,
  kUser,
  kPassword,
  kRole,
  kPasswordFile,
  kAllowedDatabases,
  kDenySecurityDatabase,
  kFailureDir,
  kLockTimeout,
  kRunLogDir,
  kDefaultOptions,
  kProcedureIdentity,
  kMaxRunsPerUser,
  kFailureFiles,
  kCharset,
  kSqlDialect,
  kStatementText,
  kOnce,
  kOnceChanged,
  kTolerate,
};

// Who may set a setting.
enum class SetBy {
  kServer,        // the server's administrator only: the file, the server's environment
  kCaller,        // also every run's options
  kCallerShorter, // also a run's options, but a run on a caller's own attachment
                  // may only shorten the server's value (CallerLockTimeout)
  kRunOnly,       // a run's own options only, never default_options: it names
                  // one script
};

struct SettingRow {
  SettingId id;
  const char* name;      // as shown; the file's name where in_file
  bool in_file;          // a line of udftolvane.conf
  const char* variable;  // its environment variable; null: none
  bool variable_in_server;  // false: only tolvane-exec reads the variable
  const char* option;    // its name in an options text; null: none
  const char* flag;      // tolvane-exec's flag; null: none
  const char* default_text;  // the default, as the template shows it
  SetBy set_by;
  const char* about;     // one line, for --show-settings and the README
};

std::span<const SettingRow> SettingsTable();
const SettingRow& Setting(SettingId id);
// The row named name (a file name or an option name); null when none is.
const SettingRow* FindSetting(std::string_view name);

// "user, password, ..." in table order: the names a file takes, or the
// names an options text takes (for the texts that list them).
std::string FileSettingNames();
std::string OptionNames();

}  // namespace tolvane
