// What a run is asked to do. The defaults are the behaviour of executa_sql.
#pragma once

#include <optional>
#include <string>

#include "script_runner/RunLimits.h"

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
};

// Who the run logs in as. Unset: the module's own login (SYSDBA).
struct RunIdentity {
  std::string user;
  std::string password;  // empty: none is sent (a plain path inside the server needs none)
  std::string role;      // empty: none
};

inline constexpr int kLockNoWait = -1;

struct RunSettings {
  Dialect dialect = Dialect::kLines;
  RunMode mode = RunMode::kContinue;
  // Seconds a statement waits for a lock; 0 waits without a limit;
  // kLockNoWait does not wait. Unset: the driver's default.
  std::optional<int> lock_timeout;
  bool failure_files = true;  // a failed statement leaves TESTE<index>.TXT
  // Where failure files go when UDFTOLVANE_FAILURE_DIR is not set; empty:
  // /tmp. The configuration's failure_dir.
  std::string failure_folder;
  std::optional<RunIdentity> identity;
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
