// What became of one statement of a run, the commits and rollbacks the run
// made, the run's totals, and the observers that receive them as they happen.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvane {

enum class OutcomeStatus {
  kOk,       // ran; its work is committed
  kFailed,
  kSkipped,  // a client command that has no meaning inside a run
  kNotRun,   // after the run broke off
  // ran; a later commit makes its work durable or a rollback undoes it (the
  // transaction records say which). The atomic and batch modes.
  kDone,
  // a done statement as a report gives it once its rollback is known; the
  // run itself never hands it out.
  kRolledBack,
  // failed only because its object already exists (or, for a DROP, does not):
  // tolerate=exists. Not counted as failed; no failure file.
  kTolerated,
};

// "ok", "failed", "skipped", "not run", "done", "rolled back", "tolerated".
const char* OutcomeStatusName(OutcomeStatus status);

struct StatementOutcome {
  int index = 0;       // 0-based line index; the failure file's number
  int first_line = 0;  // 1-based
  int last_line = 0;
  std::string_view statement;  // valid until the run's next step
  OutcomeStatus status = OutcomeStatus::kOk;
  std::uint32_t rows_affected = 0;
  std::int64_t elapsed_us = 0;
  // kFailed, kTolerated: the message as the connection layer raised it;
  // kSkipped: why.
  std::string message;
  std::string sqlstate;        // five characters, or empty
  std::int64_t error_code = 0;  // the database's error code; 0 when unknown
  bool failure_file = false;    // a failure file was written for it
};

// A commit or rollback the run made of the work its statements left open.
struct TransactionOutcome {
  bool committed = false;  // false: rolled back
  // The lines the transaction spanned: from the first statement run after
  // the previous commit or rollback to the statement that ended it; 0 when
  // no statement ran in it.
  int first_line = 0;
  int last_line = 0;
  long long statements = 0;  // done statements it made durable or undid
  // No later commit or rollback follows in this run (the last commit, or the
  // rollback of a run that breaks off).
  bool ends_run = false;
  std::string message;  // why a rollback happened, when a failure caused it
};

// Who started a run and how, for its first record.
struct RunStart {
  std::string_view database;
  std::string_view routine;  // "EXECUTA_SQL", "TOLVANE_RUN", "tolvane-exec"
  std::string_view user;     // the caller, when the routine knows it
  std::string_view role;
  std::string_view options;        // the run's settings as an options text
  std::string_view identity_user;  // whom the run logs in as
  std::string_view identity_role;
};

struct RunSummary {
  long long statements = 0;  // every statement reported
  long long ok = 0;          // ran and committed
  long long failed = 0;
  long long skipped = 0;
  long long not_run = 0;
  long long rolled_back = 0;  // ran, and a rollback undid them
  long long tolerated = 0;    // tolerate=exists
  // once=: the id was applied with this script already; nothing ran, and
  // result_text says when and by whom (result_ok is true).
  bool already_applied = false;
  std::int64_t elapsed_us = 0;
  bool result_ok = false;
  std::string result_text;
  // The connection's character set when the run names one (an option, SET
  // NAMES; "NONE" in the isql dialect without either); empty otherwise.
  std::string charset;
  bool run_log_incomplete = false;  // the run log could not be written whole
  // The run's connection was opened: false when the target could not be
  // reached, or the run ended before it tried.
  bool connected = false;
};

// Receives a run as it happens. Observers keep what they need and nothing
// else, so a run of any length streams. They must not throw.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual void OnRunStart(const RunStart& start) noexcept = 0;
  virtual void OnOutcome(const StatementOutcome& outcome) noexcept = 0;
  // After the outcome of the statement that caused it (the end's commit:
  // after the last statement's).
  virtual void OnTransaction(const TransactionOutcome&) noexcept {}
  virtual void OnRunEnd(const RunSummary& summary) noexcept = 0;
  // Whether this observer lost part of its record (asked before OnRunEnd).
  virtual bool Incomplete() const noexcept { return false; }
};

}  // namespace tolvane
