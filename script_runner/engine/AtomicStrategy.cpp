// atomic: the whole script in one transaction. The first failure undoes
// everything and ends the run; COMMIT and ROLLBACK lines would break that
// promise and are refused.
#include "runtime/StringList.h"
#include "script_runner/engine/StatementOutcome.h"
#include "script_runner/engine/TransactionStrategy.h"

namespace tolvane {
namespace {

constexpr std::string_view kNoTransactionLines =
    "COMMIT and ROLLBACK cannot run in mode atomic: the whole script is one transaction";

class AtomicStrategy final : public TransactionStrategy {
 public:
  void Configure(TStringList& params) override { params.SetValue("AutoCommit", "False"); }
  std::string_view Refusal(StatementClass kind) override {
    return kind == StatementClass::kCommit || kind == StatementClass::kRollback
               ? kNoTransactionLines
               : std::string_view();
  }
  bool AfterStatement(RunTransaction& run, StatementClass, StatementOutcome& outcome) override {
    if (outcome.status != OutcomeStatus::kFailed) return true;
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
  bool SetBail(bool) override { return false; }
};

}  // namespace

std::unique_ptr<TransactionStrategy> MakeAtomicStrategy() {
  return std::make_unique<AtomicStrategy>();
}

}  // namespace tolvane
