// batch: one transaction for speed, with each statement's failure undone
// alone (the database undoes a failed statement by itself) and the run going
// on. DDL commits the batch so far and itself, so that later statements can
// use what it made; COMMIT and ROLLBACK lines end the batch so far.
#include "connection/DatabaseError.h"
#include "runtime/Exceptions.h"
#include "runtime/StringList.h"
#include "script_runner/engine/StatementOutcome.h"
#include "script_runner/engine/TransactionStrategy.h"

namespace tolvane {
namespace {

class BatchStrategy final : public TransactionStrategy {
 public:
  void Configure(TStringList& params) override { params.SetValue("AutoCommit", "False"); }
  std::string_view Refusal(StatementClass) override { return {}; }
  bool AfterStatement(RunTransaction& run, StatementClass kind, StatementOutcome& outcome) override {
    const bool ok = outcome.status == OutcomeStatus::kOk;
    switch (kind) {
      case StatementClass::kCommit:
        // A commit that fails has rolled the batch back.
        ok ? run.Committed() : run.RolledBack();
        break;
      case StatementClass::kRollback:
        run.RolledBack();
        break;
      case StatementClass::kDdl:
        if (ok) CommitDdl(run, outcome);
        break;
      case StatementClass::kOther:
      case StatementClass::kStartTransaction:
        break;
    }
    return true;
  }
  void Finish(RunTransaction& run) override { CommitPendingWork(run); }
  bool KeepsPendingWork() const override { return true; }
  bool SetBail(bool) override { return false; }

 private:
  // Much of DDL's work is done at commit: a commit that fails is the DDL's
  // failure, and undoes the batch since the last commit.
  static void CommitDdl(RunTransaction& run, StatementOutcome& outcome) {
    try {
      run.ExecuteControl("COMMIT");
      run.Committed();
    } catch (const EDatabaseError& failure) {
      Failed(run, outcome, failure.Message());
      outcome.sqlstate = failure.Details().sqlstate;
      outcome.error_code = failure.Details().isc_code;
    } catch (const std::exception& failure) {
      Failed(run, outcome, failure.what());
    }
  }
  static void Failed(RunTransaction& run, StatementOutcome& outcome, std::string message) {
    outcome.status = OutcomeStatus::kFailed;
    outcome.message = std::move(message);
    run.RolledBack();
  }
};

}  // namespace

std::unique_ptr<TransactionStrategy> MakeBatchStrategy() {
  return std::make_unique<BatchStrategy>();
}

}  // namespace tolvane
