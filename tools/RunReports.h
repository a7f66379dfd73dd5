// What tolvane-exec shows of a run: a line per failed statement and a
// summary on standard error, or one JSON document on standard output.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "script_runner/engine/StatementOutcome.h"

namespace tolvane::exec {

// The server's own words on one line: without the driver's result-code line,
// the "SQL Server Error: " prefix and the SQLSTATE line, which the report
// shows on its own.
std::string OneLineMessage(std::string_view message);

// "line 4 (TESTE3.TXT): SQLSTATE 23000: violation of PRIMARY or UNIQUE KEY …"
std::string FailureLine(const tolvane::StatementOutcome& outcome);
// "4 statements: 3 ok, 1 failed, 0 skipped, 0 not run; 12.3 ms"
std::string SummaryLine(const tolvane::RunSummary& summary);

// "lines 1-17: rolled back (16 statements)"
std::string RollbackLine(const tolvane::TransactionOutcome& transaction);

// Failures as they happen, each rollback after them, the summary at the end
// ("; run log incomplete" when the run log lost records).
class TextReport final : public tolvane::RunObserver {
 public:
  explicit TextReport(std::ostream& out) : out_(out) {}
  void OnRunStart(const tolvane::RunStart&) noexcept override {}
  void OnOutcome(const tolvane::StatementOutcome& outcome) noexcept override;
  void OnTransaction(const tolvane::TransactionOutcome& transaction) noexcept override;
  void OnRunEnd(const tolvane::RunSummary& summary) noexcept override;

 private:
  std::ostream& out_;
};

// {"run":{…},"outcomes":[…],"summary":{…}}, written as the run goes, each
// statement with its final status: from a "done" statement on, outcomes
// wait for the commit ("ok") or rollback ("rolled back") that settles them.
class JsonReport final : public tolvane::RunObserver {
 public:
  explicit JsonReport(std::ostream& out) : out_(out) {}
  void OnRunStart(const tolvane::RunStart& start) noexcept override;
  void OnOutcome(const tolvane::StatementOutcome& outcome) noexcept override;
  void OnTransaction(const tolvane::TransactionOutcome& transaction) noexcept override;
  void OnRunEnd(const tolvane::RunSummary& summary) noexcept override;

 private:
  struct Waiting {
    tolvane::StatementOutcome outcome;  // its statement view points into text
    std::string text;
  };
  void Write(const tolvane::StatementOutcome& outcome, const char* status);
  void Settle(const char* done_status);

  std::ostream& out_;
  std::string text_;
  bool first_ = true;
  std::vector<Waiting> waiting_;
};

}  // namespace tolvane::exec
