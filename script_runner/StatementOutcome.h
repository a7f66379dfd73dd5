// What became of one statement of a run, the run's totals, and the observers
// that receive both as they happen.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvane {

enum class OutcomeStatus {
  kOk,
  kFailed,
  kSkipped,  // a client command that has no meaning inside a run
  kNotRun,   // after the run broke off
  kRolledBack,  // it ran, but a rollback undid its work
};

// "ok", "failed", "skipped", "not run", "rolled back".
const char* OutcomeStatusName(OutcomeStatus status);

struct StatementOutcome {
  int index = 0;       // 0-based line index; the failure file's number
  int first_line = 0;  // 1-based
  int last_line = 0;
  std::string_view statement;  // valid until the run's next step
  OutcomeStatus status = OutcomeStatus::kOk;
  std::uint32_t rows_affected = 0;
  std::int64_t elapsed_us = 0;
  // kFailed: the message as the connection layer raised it; kSkipped: why.
  std::string message;
  std::string sqlstate;        // five characters, or empty
  std::int64_t error_code = 0;  // the database's error code; 0 when unknown
  bool failure_file = false;    // a failure file was written for it
};

struct RunSummary {
  long long statements = 0;  // every statement reported (rolled back ones once)
  long long ok = 0;          // ran and stayed done
  long long failed = 0;
  long long skipped = 0;
  long long not_run = 0;
  long long rolled_back = 0;
  std::int64_t elapsed_us = 0;
  bool result_ok = false;
  std::string result_text;
  // The connection's character set when the run names one (an option, SET
  // NAMES; "NONE" in the isql dialect without either); empty otherwise.
  std::string charset;
};

// Receives a run as it happens. Observers keep what they need and nothing
// else, so a run of any length streams. They must not throw.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual void OnRunStart(std::string_view database_path) noexcept = 0;
  virtual void OnOutcome(const StatementOutcome& outcome) noexcept = 0;
  virtual void OnRunEnd(const RunSummary& summary) noexcept = 0;
};

}  // namespace tolvane
