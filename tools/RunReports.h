// What tolvane-exec shows of a run: a line per failed statement and a
// summary on standard error, or one JSON document on standard output.
#pragma once

#include <ostream>
#include <string>

#include "script_runner/StatementOutcome.h"

namespace tolvane::exec {

// "line 4 (TESTE3.TXT): SQLSTATE 23000: violation of PRIMARY or UNIQUE KEY …"
std::string FailureLine(const tolvane::StatementOutcome& outcome);
// "4 statements: 3 ok, 1 failed, 0 skipped, 0 not run; 12.3 ms"
std::string SummaryLine(const tolvane::RunSummary& summary);

class TextReport final : public tolvane::RunObserver {
 public:
  explicit TextReport(std::ostream& out) : out_(out) {}
  void OnRunStart(std::string_view) noexcept override {}
  void OnOutcome(const tolvane::StatementOutcome& outcome) noexcept override;
  void OnRunEnd(const tolvane::RunSummary& summary) noexcept override;

 private:
  std::ostream& out_;
};

// {"run":{…},"outcomes":[…],"summary":{…}}, written as the run goes.
class JsonReport final : public tolvane::RunObserver {
 public:
  explicit JsonReport(std::ostream& out) : out_(out) {}
  void OnRunStart(std::string_view database_path) noexcept override;
  void OnOutcome(const tolvane::StatementOutcome& outcome) noexcept override;
  void OnRunEnd(const tolvane::RunSummary& summary) noexcept override;

 private:
  std::ostream& out_;
  std::string text_;
  bool first_ = true;
};

}  // namespace tolvane::exec
