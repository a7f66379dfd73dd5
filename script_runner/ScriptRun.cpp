#include "script_runner/ScriptRun.h"

#include <chrono>
#include <new>
#include <utility>

#include "connection/SQLConnection.h"
#include "runtime/Exceptions.h"
#include "runtime/Messages.h"
#include "script_runner/RunnerMessages.h"
#include "script_runner/FailureFile.h"
#include "script_runner/IsqlSplitter.h"
#include "script_runner/LineSource.h"
#include "script_runner/ResultText.h"
#include "script_runner/RunOptions.h"
#include "script_runner/ScriptRunner.h"

namespace tolvane {
namespace {

constexpr std::string_view kBailOn = "SET BAIL ON: the run ends at the first failure";
constexpr std::string_view kBailOff = "SET BAIL OFF: the run goes on after a failure";
constexpr std::string_view kBailIgnored = "SET BAIL has no effect in this run's mode";
constexpr std::string_view kSqlStateCancelled = "HY008";

std::int64_t NowMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::unique_ptr<StatementSource> MakeSource(Dialect dialect, std::string_view script) {
  if (dialect == Dialect::kIsql) return std::make_unique<IsqlSplitter>(script);
  return std::make_unique<LineSource>(script);
}

// The SQLSTATE a driver without details still names in its text.
std::string SqlStateFromMessage(const std::string& message) {
  static constexpr std::string_view kMark = "SQLSTATE = ";
  const std::size_t at = message.rfind(kMark);
  if (at == std::string::npos || at + kMark.size() + 5 > message.size()) return std::string();
  return message.substr(at + kMark.size(), 5);
}

void StartOutcome(const ScriptStatement& statement, StatementOutcome* outcome) {
  *outcome = StatementOutcome{};
  outcome->index = statement.index;
  outcome->first_line = statement.first_line;
  outcome->last_line = statement.last_line;
  outcome->statement = statement.text;
}

}  // namespace

ScriptRun::ScriptRun(Platform& platform, std::string_view script, std::string database_path,
                     const RunSettings& settings)
    : platform_(platform),
      script_(script),
      database_path_(std::move(database_path)),
      settings_(settings),
      slot_(settings.owner, settings.max_runs_per_user),
      source_(MakeSource(settings.dialect, script)),
      strategy_(MakeTransactionStrategy(settings.mode)) {}

ScriptRun::~ScriptRun() { delete std::exchange(connection_, nullptr); }

template <class Body>
bool ScriptRun::Guarded(Body&& body) {
  try {
    return body();
  } catch (...) {
    BreakOffOnCurrentException();
  }
  return false;
}

// Inside a catch block: the exception in flight ends the run with its text.
void ScriptRun::BreakOffOnCurrentException() noexcept {
  try {
    throw;
  } catch (const Exception& e) {
    BreakOff(e.Message());
  } catch (const std::bad_alloc&) {
    BreakOff(kSOutOfMemory);
  } catch (const std::exception& e) {
    BreakOff(e.what());
  } catch (...) {
    BreakOff("Unknown error");
  }
}

bool ScriptRun::Step(StatementOutcome* outcome) {
  if (!queued_.empty()) {
    *outcome = std::move(queued_.front());
    queued_.pop_front();
    Report(*outcome);
    return true;
  }
  switch (state_) {
    case State::kNew:
      started_us_ = NowMicroseconds();
      for (RunObserver* observer : observers_) observer->OnRunStart(database_path_);
      if (!slot_.Refusal().empty()) {
        BreakOff(slot_.Refusal());
        return NotRun(outcome);
      }
      if (!Guarded([this] {
            Open();
            return true;
          }))
        return NotRun(outcome);
      state_ = State::kRunning;
      [[fallthrough]];
    case State::kRunning:
      if (Guarded([this, outcome] { return RunNext(outcome); })) return true;
      if (!queued_.empty()) return Step(outcome);
      return NotRun(outcome);
    case State::kBrokenOff:
      return NotRun(outcome);
    case State::kDone:
      return false;
  }
  return false;
}

void ScriptRun::Open() {
  connection_ = new TSQLConnection(nullptr, platform_);
  ConfigureRunnerConnection(*connection_, database_path_);
  // Only what a run asks for beyond the defaults changes the runner's lines.
  TStringList& params = connection_->Params();
  if (settings_.attachment != nullptr) {
    // The holder's login is the run's: none of its own is sent anywhere.
    params.SetValue("User_Name", "");
    params.SetValue("Password", "");
    params.SetValue("RoleName", "");
    params.SetValue("Attachment", AttachmentParam(settings_.attachment));
  } else if (settings_.identity) {
    params.SetValue("User_Name", settings_.identity->user);
    params.SetValue("Password", settings_.identity->password);
    params.SetValue("RoleName", settings_.identity->role);
  }
  if (settings_.lock_timeout) {
    if (*settings_.lock_timeout == kLockNoWait) {
      params.SetValue("WaitOnLocks", "False");
    } else {
      params.SetValue("LockTimeout", std::to_string(*settings_.lock_timeout));
    }
  }
  strategy_->Configure(params);
  connection_->SetConnected(true);
}

// One statement, or the end when there are none left. Failures that escape
// end the run (a failure file that cannot be written, a failed last commit
// or close).
bool ScriptRun::RunNext(StatementOutcome* outcome) {
  ScriptStatement statement;
  if (!source_->Next(&statement)) {
    Close();
    return false;
  }
  StartOutcome(statement, outcome);
  bool keep_going = true;
  switch (statement.kind) {
    case ScriptStatement::Kind::kSql: {
      const StatementClass kind = ClassifyForRun(statement.text);
      committed_in_step_ = false;
      if (const std::string_view refusal = strategy_->Refusal(kind); !refusal.empty()) {
        current_statement_.assign(statement.text);
        outcome->message.assign(refusal);
        RecordFailure(statement.index, outcome);
      } else if (Execute(statement, outcome)) {
        // The connection is gone: every later statement would fail the same way.
        keep_going = false;
      }
      if (state_ != State::kRunning) break;
      const bool was_failed = outcome->status == OutcomeStatus::kFailed;
      if (!strategy_->AfterStatement(*this, kind, *outcome)) keep_going = false;
      if (!was_failed && outcome->status == OutcomeStatus::kFailed)
        RecordFailure(statement.index, outcome);
      if (strategy_->KeepsPendingWork() && outcome->status == OutcomeStatus::kOk &&
          !committed_in_step_ && (kind == StatementClass::kOther || kind == StatementClass::kDdl))
        pending_.push_back({statement.index, statement.first_line, statement.last_line,
                            statement.text});
      break;
    }
    case ScriptStatement::Kind::kSkipped:
      outcome->status = OutcomeStatus::kSkipped;
      outcome->message.assign(statement.reason);
      break;
    case ScriptStatement::Kind::kSetBail:
      outcome->status = OutcomeStatus::kSkipped;
      outcome->message.assign(!strategy_->SetBail(statement.bail_on) ? kBailIgnored
                              : statement.bail_on                    ? kBailOn
                                                                     : kBailOff);
      break;
    case ScriptStatement::Kind::kRefused:
      current_statement_.assign(statement.text);
      outcome->message.assign(statement.reason);
      RecordFailure(statement.index, outcome);
      if (state_ == State::kRunning && !strategy_->AfterStatement(*this, StatementClass::kOther, *outcome))
        keep_going = false;
      break;
  }
  Report(*outcome);
  if (!keep_going && state_ == State::kRunning) BreakOff(outcome->message);
  return true;
}

// Returns whether the failure ends the run: the connection is gone, or the
// caller's own statement was cancelled.
bool ScriptRun::Execute(const ScriptStatement& statement, StatementOutcome* outcome) {
  current_statement_.assign(statement.text);
  const std::int64_t started = NowMicroseconds();
  bool lost = false;
  try {
    outcome->rows_affected = connection_->ExecuteSqlDirect(current_statement_);
    outcome->elapsed_us = NowMicroseconds() - started;
    return false;
  } catch (const EDatabaseError& e) {
    outcome->message = e.Message();
    outcome->sqlstate = e.Details().sqlstate;
    outcome->error_code = e.Details().isc_code;
    // On a caller's own attachment a cancelled statement (the caller's
    // statement cancelled, or its timeout) ends the run: the cancel was meant
    // for the whole call.
    lost = e.Details().connection_lost ||
           (settings_.attachment != nullptr && e.Details().sqlstate == kSqlStateCancelled);
  } catch (const Exception& e) {
    outcome->message = e.Message();
  } catch (const std::bad_alloc&) {
    outcome->message = kSOutOfMemory;
  } catch (const std::exception& e) {
    outcome->message = e.what();
  } catch (...) {
    outcome->message = "Unknown error";
  }
  outcome->elapsed_us = NowMicroseconds() - started;
  if (outcome->sqlstate.empty()) outcome->sqlstate = SqlStateFromMessage(outcome->message);
  RecordFailure(statement.index, outcome);
  return lost;
}

// The statement's failure file. A failure to write it ends the run, with the
// file's error as the result.
void ScriptRun::RecordFailure(int index, StatementOutcome* outcome) {
  outcome->status = OutcomeStatus::kFailed;
  if (!settings_.failure_files) return;
  try {
    if (failure_folder_.empty()) failure_folder_ = FailureFolder(platform_, settings_.failure_folder);
    WriteFailureFile(platform_, FailureFilePath(failure_folder_, index), current_statement_,
                     database_path_);
    outcome->failure_file = true;
  } catch (...) {
    BreakOffOnCurrentException();
  }
}

void ScriptRun::ExecuteControl(const char* sql) { connection_->ExecuteSqlDirect(sql); }

void ScriptRun::Committed() {
  pending_.clear();
  committed_in_step_ = true;
}

void ScriptRun::RolledBack() {
  for (const PendingStatement& pending : pending_) {
    StatementOutcome outcome;
    outcome.index = pending.index;
    outcome.first_line = pending.first_line;
    outcome.last_line = pending.last_line;
    outcome.statement = pending.text;
    outcome.status = OutcomeStatus::kRolledBack;
    queued_.push_back(std::move(outcome));
  }
  pending_.clear();
  committed_in_step_ = true;  // nothing of this step waits for a commit
}

bool ScriptRun::NotRun(StatementOutcome* outcome) {
  if (state_ != State::kBrokenOff) return false;
  ScriptStatement statement;
  bool more = false;
  try {
    more = source_->Next(&statement);
  } catch (...) {
    more = false;
  }
  if (!more) {
    End();
    return false;
  }
  StartOutcome(statement, outcome);
  outcome->status = OutcomeStatus::kNotRun;
  Report(*outcome);
  return true;
}

void ScriptRun::Close() {
  // A mode that keeps work open commits it last; its failure names COMMIT.
  if (strategy_->KeepsPendingWork()) current_statement_ = "COMMIT";
  strategy_->Finish(*this);
  DestroyConnection(std::exchange(connection_, nullptr));
  summary_.result_ok = true;
  summary_.result_text = kSResultOk;
  End();
}

// The run ends with message and the statement being run; the connection goes
// at once, whatever its close says: the first failure is the one reported.
void ScriptRun::BreakOff(std::string_view message) noexcept {
  summary_.result_ok = false;
  try {
    summary_.result_text = ComposeResultText(message, current_statement_);
  } catch (...) {
    summary_.result_text.clear();
  }
  state_ = State::kBrokenOff;
  try {
    DestroyConnection(std::exchange(connection_, nullptr));
  } catch (...) {
  }
}

void ScriptRun::End() {
  state_ = State::kDone;
  summary_.elapsed_us = NowMicroseconds() - started_us_;
  for (RunObserver* observer : observers_) observer->OnRunEnd(summary_);
}

void ScriptRun::Report(const StatementOutcome& outcome) {
  // A rolled-back statement was counted ok when it ran.
  if (outcome.status != OutcomeStatus::kRolledBack) ++summary_.statements;
  switch (outcome.status) {
    case OutcomeStatus::kOk: ++summary_.ok; break;
    case OutcomeStatus::kFailed: ++summary_.failed; break;
    case OutcomeStatus::kSkipped: ++summary_.skipped; break;
    case OutcomeStatus::kNotRun: ++summary_.not_run; break;
    case OutcomeStatus::kRolledBack:
      --summary_.ok;
      ++summary_.rolled_back;
      break;
  }
  for (RunObserver* observer : observers_) observer->OnOutcome(outcome);
}

const char* OutcomeStatusName(OutcomeStatus status) {
  switch (status) {
    case OutcomeStatus::kOk: return "ok";
    case OutcomeStatus::kFailed: return "failed";
    case OutcomeStatus::kSkipped: return "skipped";
    case OutcomeStatus::kNotRun: return "not run";
    case OutcomeStatus::kRolledBack: return "rolled back";
  }
  return "";
}

}  // namespace tolvane
