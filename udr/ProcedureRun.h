// One call of TOLVANE_RUN apart from the server's interfaces: its request
// prepared (RunRequest.h), and the rows handed out one at a time, each
// statement row running one statement.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "script_runner/engine/RunRequest.h"
#include "script_runner/engine/ScriptRun.h"
#include "script_runner/engine/StatementOutcome.h"

namespace tolvane {

class FirebirdConfig;
class Platform;

class ProcedureRun {
 public:
  enum class Row { kStatement, kTransaction, kResult, kEnd };

  // Never throws: a refused request becomes the result row.
  ProcedureRun(Platform& platform, FirebirdConfig& firebird, const RunRequest& request);
  // A call that could not even gather its arguments: only the result row.
  explicit ProcedureRun(std::string refusal);

  // kStatement: *outcome holds the next statement's outcome (its texts valid
  // until the next call); kTransaction: Transaction() holds a commit or
  // rollback made during the run, after the statement that caused it;
  // kResult: the run's end, once, after the last statement, with the run's
  // last commit or rollback in Transaction(); then kEnd. A failing statement
  // or connection is a row, never an exception.
  Row Next(StatementOutcome* outcome);
  // kTransaction's, or on the result row the commit or rollback that ended
  // the run (null when it made none: continue and bail, or nothing left open).
  const TransactionOutcome* Transaction() const {
    return transaction_given_ ? &transaction_ : nullptr;
  }
  // Whether a statement row's STATEMENT is filled: for rows that did not end
  // ok or done, or for all with statement_text=all.
  bool WantsStatementText(const StatementOutcome& outcome) const {
    return every_statement_text_ ||
           (outcome.status != OutcomeStatus::kOk && outcome.status != OutcomeStatus::kDone);
  }

  bool ResultOk() const { return result_ok_; }
  const std::string& ResultText() const { return result_text_; }
  std::int64_t ElapsedMicroseconds() const { return elapsed_us_; }

 private:
  // Keeps the run's commits and rollbacks for their rows.
  class Transactions final : public RunObserver {
   public:
    void OnRunStart(const RunStart&) noexcept override {}
    void OnOutcome(const StatementOutcome&) noexcept override {}
    void OnTransaction(const TransactionOutcome& transaction) noexcept override;
    void OnRunEnd(const RunSummary&) noexcept override {}
    std::deque<TransactionOutcome> during;  // rows still to give
    std::optional<TransactionOutcome> last;  // the result row's
  };

  Transactions transactions_;
  PreparedRun prepared_;  // after transactions_, which it tells
  TransactionOutcome transaction_;
  bool transaction_given_ = false;
  bool every_statement_text_ = false;
  bool result_given_ = false;
  bool result_ok_ = true;
  std::string result_text_;
  std::int64_t elapsed_us_ = 0;
};

}  // namespace tolvane
