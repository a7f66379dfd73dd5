// What a run is asked to do. The defaults are the behaviour of executa_sql.
#pragma once

#include <optional>
#include <string>

#include "runtime/Platform.h"
#include "script_runner/engine/RunLimits.h"

namespace tolvane {

enum class Dialect {
  kLines,  // one statement per line
  kIsql,   // terminators, SET TERM and comments, as isql reads a script
};

// How a run commits (its transaction strategy).
enum class RunMode {
  kContinue,  // every statement commits on its own; a failure is recorded, the run goes on
  kBail,      // as continue, but the first failure ends the run
  kAtomic,    // one transaction; the first failure undoes everything and ends the run
  kBatch,     // one transaction; a failure undoes that statement alone; DDL commits
  kIsql,      // as isql runs a script: one transaction, a failure undoes that
              // statement alone, DDL commits alone (unless SET AUTODDL OFF),
              // COMMIT, ROLLBACK, savepoints and SET TRANSACTION honoured
};

// Who the run logs in as. Unset: the module's own login (SYSDBA).
struct RunIdentity {
  std::string user;
  std::string password;  // empty: none is sent (a plain path inside the server needs none)
  std::string role;      // empty: none
};

// A target the configuration's rules on targets admitted: its real path and
// the file it was when admitted.
struct AdmittedFile {
  std::string path;
  FileIdentity identity;
};

inline constexpr int kLockNoWait = -1;

// Who asked for the run: named in its run log, changes nothing of the run.
struct RunCaller {
  std::string routine = "EXECUTA_SQL";
  std::string user;  // empty: the routine cannot tell
  std::string role;
};

struct RunSettings {
  Dialect dialect = Dialect::kLines;
  // Unless a mode is given (mode_given), the dialect's: isql for the isql
  // dialect, continue for the lines dialect.
  RunMode mode = RunMode::kContinue;
  bool mode_given = false;
  // Seconds a statement waits for a lock; 0 waits without a limit;
  // kLockNoWait does not wait. Unset: the driver's default.
  std::optional<int> lock_timeout;
  bool failure_files = true;  // a failed statement leaves TESTE<index>.TXT
  // Where failure files go when UDFTOLVANE_FAILURE_DIR is not set; empty:
  // /tmp. The configuration's failure_dir.
  std::string failure_folder;
  // A folder of its own under the failure folder for this run's failure
  // files, made at the first of them (runs of one script on many databases
  // would otherwise overwrite each other's TESTE<n>.TXT); empty: none.
  std::string failure_subfolder;
  std::optional<RunIdentity> identity;
  // The connection's character set, as isql's -ch; empty: none (NONE), or
  // the isql dialect's SET NAMES before the first statement.
  std::string charset;
  // The SQL dialect the run connects and prepares with; unset: 3, or the
  // isql dialect's SET SQL DIALECT before the first statement.
  std::optional<int> sql_dialect;
  // TOLVANE_RUN fills STATEMENT for every row (statement_text=all), not only
  // for rows that did not end ok or done.
  bool every_statement_text = false;
  RunCaller caller;
  // Apply once (once=): the id that names the script in the target's
  // history; empty: the run always runs. Never a configured default.
  std::string once_id;
  // once_changed=rerun: under an applied id with another checksum the script
  // runs as a new attempt instead of being refused.
  bool once_rerun_changed = false;
  // tolerate=exists: a statement that fails only because its object already
  // exists (or, for a DROP, does not) is tolerated, not failed.
  bool tolerate_exists = false;
  // Set when rules on targets admitted the run: right after its attach the
  // run confirms that the database it opened is this file, and closes the
  // connection before any statement when it is not.
  std::optional<AdmittedFile> admitted;
  // The spelling the connection attaches by, when it is not the target as
  // given (a module login bound through the server); empty: the target.
  std::string attach_path;
  // The attachment to run on instead of opening one (a caller's own, inside
  // the server; the client library's interface, not owned): the run then
  // has exactly that attachment's user, role and rights, in transactions of
  // its own, and a cancel of its statements ends the run. Null: the run
  // attaches to the database path.
  void* attachment = nullptr;
  // Whose runs this one counts among for the bound per user; empty: nobody's.
  std::string owner;
  int max_runs_per_user = kDefaultRunsPerUser;
};

}  // namespace tolvane
