// isql: a script run as isql runs it. One transaction (snapshot, as isql's
// default) holds the work until a COMMIT; a failing statement undoes only
// itself (the database does that); DDL runs in a transaction of its own,
// committed at once, unless SET AUTODDL OFF keeps it in the one transaction;
// ROLLBACK, savepoints and SET TRANSACTION (which rolls back the work so far,
// as isql does in a script) act on that transaction. SET BAIL ON ends the run
// at a failure and rolls back.
#include "runtime/StringList.h"
#include "script_runner/engine/StatementOutcome.h"
#include "script_runner/engine/TransactionStrategy.h"

namespace tolvane {
namespace {

constexpr std::string_view kAutoDdlOn = "SET AUTODDL ON: DDL commits at once, alone";
constexpr std::string_view kAutoDdlOff = "SET AUTODDL OFF: DDL waits for the next COMMIT";

class IsqlStrategy final : public TransactionStrategy {
 public:
  void Configure(TStringList& params) override {
    params.SetValue("AutoCommit", "False");
    params.SetValue("Interbase TransIsolation", "RepeatableRead");
  }
  void Opened(RunTransaction& run) override {
    run.SetDriverOption(coTransactionStatements, 1);
    run.SetDriverOption(coDdlOwnTransaction, auto_ddl_ ? 1 : 0);
  }
  std::string_view Refusal(StatementClass) override { return {}; }
  bool AfterStatement(RunTransaction& run, StatementClass kind, StatementOutcome& outcome) override {
    const bool ok = outcome.status == OutcomeStatus::kOk;
    switch (kind) {
      case StatementClass::kCommit:
        // A commit that fails has rolled the work back.
        ok ? run.Committed() : run.RolledBack();
        break;
      case StatementClass::kRollback:
      case StatementClass::kStartTransaction:
        // SET TRANSACTION rolled the work back before it ran, failed or not.
        run.RolledBack();
        break;
      case StatementClass::kDdl:
        if (ok && auto_ddl_) run.CommittedAlone();
        break;
      case StatementClass::kOther:
        break;
    }
    if (!(bail_ && !ok)) return true;
    // isql leaves at the failure without committing.
    try {
      run.ExecuteControl("ROLLBACK");
    } catch (...) {
      // Closing the connection rolls back all the same.
    }
    run.RolledBack();
    return false;
  }
  void Finish(RunTransaction& run) override { CommitPendingWork(run); }
  bool KeepsPendingWork() const override { return true; }
  bool SetBail(bool on) override {
    bail_ = on;
    return true;
  }
  std::string_view SetAutoDdl(RunTransaction& run, bool on) override {
    run.SetDriverOption(coDdlOwnTransaction, on ? 1 : 0);
    auto_ddl_ = on;
    return on ? kAutoDdlOn : kAutoDdlOff;
  }

 private:
  bool bail_ = false;
  bool auto_ddl_ = true;
};

}  // namespace

std::unique_ptr<TransactionStrategy> MakeIsqlStrategy() {
  return std::make_unique<IsqlStrategy>();
}

}  // namespace tolvane
