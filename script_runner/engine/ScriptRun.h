// The run engine: one run of a script on a connection of its own, stepped one
// statement at a time. Every front end (executa_sql, the UDR routines,
// tolvane-exec) is a loop over Step(); none of them knows how statements are
// split or committed.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "script_runner/engine/RunLimits.h"
#include "script_runner/engine/RunSettings.h"
#include "script_runner/scripts/ScriptStatement.h"
#include "script_runner/engine/StatementOutcome.h"
#include "script_runner/engine/TransactionStrategy.h"

namespace tolvane {

class OnceRun;
class Platform;
class TSQLConnection;

// The first record of a run of settings on database: *options holds the
// options text the record points into.
RunStart DescribeRun(const RunSettings& settings, std::string_view database, std::string* options);

class ScriptRun final : private RunTransaction {
 public:
  // script must outlive the run. Nothing is opened until the first Step().
  ScriptRun(Platform& platform, std::string_view script, std::string database_path,
            const RunSettings& settings);
  // Releases whatever the run still holds (a caller may stop stepping at any
  // time); a close failure then goes unreported, and work not yet committed
  // is rolled back by the close.
  ~ScriptRun() override;
  ScriptRun(const ScriptRun&) = delete;
  ScriptRun& operator=(const ScriptRun&) = delete;

  // Not owned; called in the order added. Add before the first Step().
  void AddObserver(RunObserver* observer) { observers_.push_back(observer); }

  // Runs the next statement and fills *outcome, or ends the run and returns
  // false. The first step opens the connection; the step that finds no more
  // statements commits what the mode left open and closes it. In a mode that
  // keeps work open a statement that ran comes back "done", and each commit
  // and rollback goes to the observers (OnTransaction) with the lines it
  // covers; every statement comes back once. After a run breaks off, the
  // remaining statements come back as "not run". Never throws.
  bool Step(StatementOutcome* outcome);

  // After Step() returned false: "ok" or the text of the failure that ended
  // the run (its message, "   -    ", the statement being run).
  bool ResultOk() const { return summary_.result_ok; }
  const std::string& ResultText() const { return summary_.result_text; }
  const RunSummary& Summary() const { return summary_; }

  // Ends the run where it stands, as a break-off whose result text is why:
  // what the mode left open is rolled back, and the next steps return the
  // remaining statements as "not run" and end the run. Between steps only;
  // nothing after the run ended.
  void Interrupt(std::string_view why) noexcept;

 private:
  enum class State { kNew, kRunning, kBrokenOff, kDone };

  // Returns false when the run has nothing to do: once= found its id
  // applied with this script (the connection is closed again).
  bool Open();
  // isql's commands (IsqlCommands.cpp). Before the open: the settings of the
  // script's head (SET NAMES, SET SQL DIALECT) that the attach takes.
  void ReadLeadingSettings();
  void ApplyCommand(const ScriptStatement& statement, StatementOutcome* outcome);
  bool RunNext(StatementOutcome* outcome);
  bool Execute(const ScriptStatement& statement, StatementOutcome* outcome);
  void RecordFailure(int index, StatementOutcome* outcome);
  bool NotRun(StatementOutcome* outcome);
  void Close();
  void BreakOff(std::string_view message) noexcept;
  void BreakOffOnCurrentException() noexcept;
  void End();
  // once=: records the outcome while the connection is still open.
  void RecordOnce() noexcept;
  void Report(const StatementOutcome& outcome);
  void Spanned(const ScriptStatement& statement);
  void TransactionEnded(bool committed);
  void DeliverTransactions(bool ends_run) noexcept;
  template <class Body>
  bool Guarded(Body&& body);

  // RunTransaction, for the strategy.
  void ExecuteControl(const char* sql) override;
  void Committed() override;
  void RolledBack() override;
  void CommittedAlone() override;
  void SetDriverOption(ConnectionOption id, OptionValue value) override;

  Platform& platform_;
  std::string_view script_;
  std::string database_path_;
  RunSettings settings_;
  RunSlot slot_;
  std::unique_ptr<StatementSource> source_;
  std::unique_ptr<TransactionStrategy> strategy_;
  std::vector<RunObserver*> observers_;
  std::unique_ptr<OnceRun> once_;  // once= given: the id's lock and record
  std::unique_ptr<TSQLConnection> connection_;  // see Close()
  State state_ = State::kNew;
  std::string current_statement_;
  std::string failure_folder_;
  // The open transaction: done statements waiting for its end, and the lines
  // it spans (0: none yet).
  long long pending_ = 0;
  int span_first_line_ = 0;
  int span_last_line_ = 0;
  std::vector<TransactionOutcome> transactions_;  // ended, to be delivered
  bool committed_in_step_ = false;
  // isql's commands: the character set and dialect taken at the attach,
  // whether a statement was met yet, PLANONLY, and an EXIT or QUIT met.
  std::string charset_;
  int sql_dialect_ = 0;  // 0: the runner's
  bool statement_met_ = false;
  bool plan_only_ = false;
  bool auto_ddl_ = true;
  bool exiting_ = false;
  std::int64_t started_us_ = 0;
  RunSummary summary_;
};

}  // namespace tolvane
