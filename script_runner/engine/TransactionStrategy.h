// How a run commits (its mode): chosen once per run from its settings, and
// consulted around every statement. Each mode lives in a file of its own.
#pragma once

#include <memory>
#include <string_view>

#include "driver/SqlDriver.h"
#include "script_runner/engine/RunSettings.h"
#include "script_runner/engine/StatementClass.h"

namespace tolvane {

class TStringList;
struct StatementOutcome;

// What a strategy may ask of the run it serves.
class RunTransaction {
 public:
  virtual ~RunTransaction() = default;
  // Runs a transaction statement (COMMIT, ROLLBACK) on the run's connection;
  // raises its failure.
  virtual void ExecuteControl(const char* sql) = 0;
  // The work since the last commit is durable now.
  virtual void Committed() = 0;
  // The work since the last commit is undone: its statements are reported
  // "rolled back".
  virtual void RolledBack() = 0;
  // The statement being run is durable on its own (DDL committed alone); the
  // work before it still waits.
  virtual void CommittedAlone() = 0;
  // Sets a driver option on the open connection; raises its refusal.
  virtual void SetDriverOption(ConnectionOption id, OptionValue value) = 0;
};

class TransactionStrategy {
 public:
  virtual ~TransactionStrategy() = default;
  // Adjusts the connection's parameters before it opens.
  virtual void Configure(TStringList& params) = 0;
  // A reason the mode cannot run this statement (it is then reported failed
  // and never sent), or empty.
  virtual std::string_view Refusal(StatementClass kind) = 0;
  // After a statement ran; may turn its outcome into a failure (a commit that
  // fails). Returns false when the run is to end at this statement.
  virtual bool AfterStatement(RunTransaction& run, StatementClass kind,
                              StatementOutcome& outcome) = 0;
  // The script is done: the last commit. Raises its failure.
  virtual void Finish(RunTransaction& run) = 0;
  // Whether statements wait for a later commit (and can be rolled back).
  virtual bool KeepsPendingWork() const = 0;
  // SET BAIL ON/OFF in a script; false when the mode does not change.
  virtual bool SetBail(bool on) = 0;
  // The connection is open.
  virtual void Opened(RunTransaction&) {}
  // SET AUTODDL in a script: what it did, for the report.
  virtual std::string_view SetAutoDdl(RunTransaction&, bool) {
    return "SET AUTODDL has no effect in this run's mode";
  }
  // EXIT (commit) or QUIT (roll back): the run ends after it. Raises the
  // failure of the commit.
  virtual void Exit(RunTransaction& run, bool commit) {
    if (!KeepsPendingWork()) return;
    if (commit) {
      CommitPendingWork(run);
      return;
    }
    run.ExecuteControl("ROLLBACK");
    run.RolledBack();
  }

 protected:
  static void CommitPendingWork(RunTransaction& run);
};

// The last commit of a mode that keeps work open: its work is durable, or,
// when the commit fails, rolled back, and the failure raised.
inline void CommitPendingWork(RunTransaction& run) {
  try {
    run.ExecuteControl("COMMIT");
  } catch (...) {
    run.RolledBack();
    throw;
  }
  run.Committed();
}

inline void TransactionStrategy::CommitPendingWork(RunTransaction& run) {
  tolvane::CommitPendingWork(run);
}

std::unique_ptr<TransactionStrategy> MakeContinueStrategy(bool bail);
std::unique_ptr<TransactionStrategy> MakeAtomicStrategy();
std::unique_ptr<TransactionStrategy> MakeBatchStrategy();
std::unique_ptr<TransactionStrategy> MakeIsqlStrategy();

inline std::unique_ptr<TransactionStrategy> MakeTransactionStrategy(RunMode mode) {
  switch (mode) {
    case RunMode::kBail: return MakeContinueStrategy(true);
    case RunMode::kAtomic: return MakeAtomicStrategy();
    case RunMode::kBatch: return MakeBatchStrategy();
    case RunMode::kIsql: return MakeIsqlStrategy();
    case RunMode::kContinue: break;
  }
  return MakeContinueStrategy(false);
}

}  // namespace tolvane
