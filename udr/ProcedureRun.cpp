#include "udr/ProcedureRun.h"

#include <array>
#include <utility>

#include "script_runner/engine/RunnerMessages.h"

namespace tolvane {

ProcedureRun::ProcedureRun(Platform& platform, FirebirdConfig& firebird, const RunRequest& request)
    : prepared_(platform, firebird, request, std::array<RunObserver*, 1>{&transactions_}),
      every_statement_text_(prepared_.Settings().every_statement_text) {
  if (prepared_.Refused()) {
    result_ok_ = false;
    result_text_ = prepared_.RefusalText();
  }
}

void ProcedureRun::Transactions::OnTransaction(const TransactionOutcome& transaction) noexcept {
  try {
    if (transaction.ends_run) last = transaction;
    else during.push_back(transaction);
  } catch (...) {
  }
}

ProcedureRun::ProcedureRun(std::string refusal) : result_ok_(false), result_text_(std::move(refusal)) {}

ProcedureRun::Row ProcedureRun::Next(StatementOutcome* outcome) {
  if (result_given_) return Row::kEnd;
  transaction_given_ = false;
  if (!transactions_.during.empty()) {
    transaction_ = transactions_.during.front();
    transactions_.during.pop_front();
    transaction_given_ = true;
    return Row::kTransaction;
  }
  if (ScriptRun* run = prepared_.Run()) {
    if (run->Step(outcome)) return Row::kStatement;
    result_ok_ = run->ResultOk();
    result_text_ = run->ResultText();
    elapsed_us_ = run->Summary().elapsed_us;
    prepared_.Release();  // the run's connection is gone already; nothing is held on
    if (transactions_.last) {
      transaction_ = *transactions_.last;
      transaction_given_ = true;
    }
  } else if (result_ok_) {
    result_text_ = kSResultOk;
  }
  result_given_ = true;
  return Row::kResult;
}

}  // namespace tolvane
