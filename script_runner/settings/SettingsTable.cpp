#include "script_runner/settings/SettingsTable.h"

#include "SystemNames.h"
#include "runtime/Text.h"

namespace tolvane {
namespace {

// The order is the one the parsers' messages list the names in: the file's
// names from user to max_runs_per_user, the options from mode to
// tolerate.
constexpr SettingRow kRows[] = {
    {SettingId::kConfigFile, "configuration", false, "UDFTOLVANE_CONF", true, nullptr, "--config",
     "", SetBy::kServer,
     "the file read: UDFTOLVANE_CONF, else beside the module, else the server's configuration folder"},
    {SettingId::kConnectTimeout, "connect_timeout", false, "TOLVANE_CONNECT_TIMEOUT", true, nullptr,
     nullptr, "30", SetBy::kServer,
     "seconds an attach waits for the server to answer (0: the client's own limit)"},
    {SettingId::kMode, "mode", false, nullptr, true, "mode", "--mode", "continue", SetBy::kCaller,
     "continue | bail | atomic | batch | isql (the isql dialect's default: isql)"},
    {SettingId::kDialect, "dialect", false, nullptr, true, "dialect", "--dialect", "lines",
     SetBy::kCaller, "lines | isql"},
    {SettingId::kUser, "user", true, "ISC_USER", false, nullptr, "--user", "SYSDBA", SetBy::kServer,
     "the login runs take (tolvane-exec: also ISC_USER, --user)"},
    {SettingId::kPassword, "password", true, "ISC_PASSWORD", false, nullptr, nullptr, "",
     SetBy::kServer, "its password; default: the module's built-in one (tolvane-exec: also ISC_PASSWORD)"},
    {SettingId::kRole, "role", true, nullptr, true, nullptr, "--role", "", SetBy::kServer,
     "the role runs take; default: none"},
    {SettingId::kPasswordFile, "password_file", true, nullptr, true, nullptr, "--password-file", "",
     SetBy::kServer, "the password as the first line of a file only its owner may read"},
    {SettingId::kAllowedDatabases, "allowed_databases", true, nullptr, true, nullptr, nullptr, "",
     SetBy::kServer, "the databases a call may target; default: any"},
    {SettingId::kDenySecurityDatabase, "deny_security_database", true, nullptr, true, nullptr,
     nullptr, "no", SetBy::kServer, "yes: no call may target the security database"},
    {SettingId::kFailureDir, "failure_dir", true, "UDFTOLVANE_FAILURE_DIR", true, nullptr, nullptr,
     system_names::kFailureFolder, SetBy::kServer, "where failure files (TESTE<n>.TXT) go"},
    {SettingId::kLockTimeout, "lock_timeout", true, "TOLVANE_LOCK_TIMEOUT", true, "lock_timeout",
     "--lock-timeout", "60", SetBy::kCallerShorter,
     "seconds a statement waits for a lock (0: no limit; nowait)"},
    {SettingId::kRunLogDir, "run_log_dir", true, "UDFTOLVANE_RUN_LOG_DIR", true, nullptr, nullptr, "",
     SetBy::kServer, "a folder for a JSON Lines log of every run; default: none"},
    {SettingId::kDefaultOptions, "default_options", true, nullptr, true, nullptr, nullptr, "",
     SetBy::kServer, "an options text every run starts from"},
    {SettingId::kProcedureIdentity, "procedure_identity", true, nullptr, true, nullptr, nullptr,
     "caller", SetBy::kServer, "caller | module: whose login TOLVANE_RUN's runs take"},
    {SettingId::kMaxRunsPerUser, "max_runs_per_user", true, nullptr, true, nullptr, nullptr, "16",
     SetBy::kServer, "runs one user may have active at once (1 to 128)"},
    {SettingId::kFailureFiles, "failure_files", false, nullptr, true, "failure_files", nullptr, "on",
     SetBy::kCaller, "on | off: a failed statement leaves a failure file"},
    {SettingId::kCharset, "charset", false, nullptr, true, "charset", "--charset", "",
     SetBy::kCaller, "the connection's character set; default: none"},
    {SettingId::kSqlDialect, "sql_dialect", false, nullptr, true, "sql_dialect", "--sql-dialect", "3",
     SetBy::kCaller, "1 | 2 | 3"},
    {SettingId::kStatementText, "statement_text", false, nullptr, true, "statement_text", nullptr,
     "not_ok", SetBy::kCaller, "not_ok | all: TOLVANE_RUN's STATEMENT for which rows"},
    {SettingId::kOnce, "once", false, nullptr, true, "once", "--once", "", SetBy::kRunOnly,
     "the id under which the script is applied once (TOLVANE$HISTORY)"},
    {SettingId::kOnceChanged, "once_changed", false, nullptr, true, "once_changed", nullptr, "refuse",
     SetBy::kRunOnly, "refuse | rerun: a changed script under an applied id"},
    {SettingId::kTolerate, "tolerate", false, nullptr, true, "tolerate", nullptr, "none",
     SetBy::kCaller, "none | exists: a statement whose object already exists (or is gone) is tolerated"},
};

// Each row's place is its id's value.
constexpr bool InIdOrder() {
  int index = 0;
  for (const SettingRow& row : kRows)
    if (static_cast<int>(row.id) != index++) return false;
  return true;
}
static_assert(InIdOrder(), "the rows follow SettingId's order");

std::string Names(bool (*take)(const SettingRow&), const char* SettingRow::*name) {
  std::string names;
  for (const SettingRow& row : kRows) {
    if (!take(row)) continue;
    if (!names.empty()) names += ", ";
    names += row.*name;
  }
  return names;
}

}  // namespace

std::span<const SettingRow> SettingsTable() { return kRows; }

const SettingRow& Setting(SettingId id) { return kRows[static_cast<int>(id)]; }

const SettingRow* FindSetting(std::string_view name) {
  const std::string lower = LowerAscii(name);
  for (const SettingRow& row : kRows)
    if ((row.in_file && lower == row.name) || (row.option != nullptr && lower == row.option))
      return &row;
  return nullptr;
}

std::string FileSettingNames() {
  return Names([](const SettingRow& row) { return row.in_file; }, &SettingRow::name);
}

std::string OptionNames() {
  return Names([](const SettingRow& row) { return row.option != nullptr; }, &SettingRow::option);
}

}  // namespace tolvane
