// continue and bail: every statement commits on its own (the driver's
// auto-commit). bail ends the run at the first failure.
#include "script_runner/engine/StatementOutcome.h"
#include "script_runner/engine/TransactionStrategy.h"

namespace tolvane {
namespace {

class ContinueStrategy final : public TransactionStrategy {
 public:
  explicit ContinueStrategy(bool bail) : bail_(bail) {}
  void Configure(TStringList&) override {}
  std::string_view Refusal(StatementClass) override { return {}; }
  bool AfterStatement(RunTransaction&, StatementClass, StatementOutcome& outcome) override {
    return !(bail_ && outcome.status == OutcomeStatus::kFailed);
  }
  void Finish(RunTransaction&) override {}
  bool KeepsPendingWork() const override { return false; }
  bool SetBail(bool on) override {
    bail_ = on;
    return true;
  }

 private:
  bool bail_;
};

}  // namespace

std::unique_ptr<TransactionStrategy> MakeContinueStrategy(bool bail) {
  return std::make_unique<ContinueStrategy>(bail);
}

}  // namespace tolvane
