// One call of TOLVANE_RUN apart from the server's interfaces: the arguments
// checked, the run's settings and identity chosen, and the rows handed out
// one at a time, each statement row running one statement.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "script_runner/settings/ModuleConfig.h"
#include "script_runner/engine/RunLog.h"
#include "script_runner/engine/ScriptRun.h"
#include "script_runner/engine/StatementOutcome.h"

namespace tolvane {

class Platform;

struct ProcedureArguments {
  std::optional<std::string> script;  // NULL: nothing to run
  // Under the caller's identity NULL or empty is the caller's database.
  std::optional<std::string> database_path;
  std::optional<std::string> options;  // NULL or empty: the defaults
  // The server's configuration, when it has one: the base settings, the
  // allow-list, the bound per user, and whether runs take the module's login
  // instead of the caller's (procedure_identity = module; never a caller's
  // choice).
  std::optional<ModuleConfig> config;
  bool as_module = false;
  std::string caller_user;  // whose runs the run counts among
  std::string caller_role;  // the caller's CURRENT_ROLE, for the run log
  // Under the caller's identity: the caller's attachment (the client
  // library's interface, held by the routine for as long as the run lives),
  // which the run runs on, and its database's file as the server opened it.
  void* caller_attachment = nullptr;
  std::string caller_database;
};

class ProcedureRun {
 public:
  enum class Row { kStatement, kTransaction, kResult, kEnd };

  // Never throws for bad arguments: they become the result row.
  ProcedureRun(Platform& platform, ProcedureArguments arguments);
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

  void Refuse(std::string text);
  void Refuse(Platform& platform, const RunSettings& settings, const ProcedureArguments& arguments,
              std::string text);

  std::string script_;  // the run reads it in place
  std::optional<RunLog> log_;  // the server's run log, when it keeps one
  Transactions transactions_;
  TransactionOutcome transaction_;
  bool transaction_given_ = false;
  bool every_statement_text_ = false;
  std::unique_ptr<ScriptRun> run_;
  bool result_given_ = false;
  bool result_ok_ = true;
  std::string result_text_;
  std::int64_t elapsed_us_ = 0;
};

}  // namespace tolvane
