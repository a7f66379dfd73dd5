#include "script_runner/engine/ScriptRun.h"

#include <chrono>
#include <utility>

#include "connection/SQLConnection.h"
#include "connection/DatabaseError.h"
#include "runtime/ExceptionText.h"
#include "runtime/Exceptions.h"
#include "runtime/Messages.h"
#include "runtime/PathText.h"
#include "script_runner/engine/RunnerMessages.h"
#include "script_runner/engine/AdmittedFileCheck.h"
#include "script_runner/engine/FailureFile.h"
#include "script_runner/scripts/IsqlSplitter.h"
#include "script_runner/scripts/LineSource.h"
#include "script_runner/engine/ResultText.h"
#include "script_runner/settings/RunOptions.h"
#include "script_runner/engine/RunnerConnection.h"
#include "script_runner/engine/RunLimits.h"
#include "script_runner/settings/SettingResolver.h"
#include "script_runner/history/AlreadyDone.h"
#include "script_runner/history/OnceRun.h"

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

RunStart DescribeRun(const RunSettings& settings, std::string_view database, std::string* options) {
  *options = RunOptionsText(settings);
  RunStart start;
  start.database = database;
  start.routine = settings.caller.routine;
  start.user = settings.caller.user;
  start.role = settings.caller.role;
  start.options = *options;
  if (settings.attachment != nullptr) {
    // On the caller's own attachment the run is the caller.
    start.identity_user = start.user;
    start.identity_role = start.role;
  } else {
    start.identity_user = settings.identity ? std::string_view(settings.identity->user)
                                            : std::string_view(kRunnerUserName);
    start.identity_role = settings.identity ? std::string_view(settings.identity->role)
                                            : std::string_view(kRunnerRoleName);
  }
  return start;
}

ScriptRun::ScriptRun(Platform& platform, std::string_view script, std::string database_path,
                     const RunSettings& settings)
    : platform_(platform),
      script_(script),
      database_path_(std::move(database_path)),
      settings_(settings),
      slot_(settings.owner, settings.max_runs_per_user),
      source_(MakeSource(settings.dialect, script)),
      strategy_(MakeTransactionStrategy(settings.mode)) {}

// The lock runs on the run's attachment: it goes first, then the
// connection, before anything the run keeps for it.
ScriptRun::~ScriptRun() {
  once_.reset();
  connection_.reset();
}

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
void ScriptRun::BreakOffOnCurrentException() noexcept { BreakOff(CurrentExceptionText()); }

bool ScriptRun::Step(StatementOutcome* outcome) {
  switch (state_) {
    case State::kNew:
      started_us_ = NowMicroseconds();
      if (!observers_.empty()) {
        std::string options;
        const RunStart start = DescribeRun(settings_, database_path_, &options);
        for (RunObserver* observer : observers_) observer->OnRunStart(start);
      }
      if (!slot_.Refusal().empty()) {
        BreakOff(slot_.Refusal());
        return NotRun(outcome);
      }
      if (!Guarded([this] { return Open(); })) {
        if (summary_.already_applied) {
          End();
          return false;
        }
        return NotRun(outcome);
      }
      state_ = State::kRunning;
      [[fallthrough]];
    case State::kRunning:
      if (Guarded([this, outcome] { return RunNext(outcome); })) return true;
      return NotRun(outcome);
    case State::kBrokenOff:
      return NotRun(outcome);
    case State::kDone:
      return false;
  }
  return false;
}

bool ScriptRun::Open() {
  connection_ = std::make_unique<TSQLConnection>(nullptr, platform_);
  ConfigureRunnerConnection(*connection_, settings_.attach_path.empty() ? database_path_
                                                                      : settings_.attach_path);
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
  ReadLeadingSettings();
  if (!charset_.empty()) params.SetValue("ServerCharSet", charset_);
  if (sql_dialect_ != 0) params.SetValue("SQLDialect", std::to_string(sql_dialect_));
  // The process's timeouts reach the driver as the connection's own, named
  // only where they differ from the driver's built-in ones (the table's
  // defaults), so that a run with none set opens exactly as it always has.
  if (settings_.lock_timeout == kLockNoWait) {
    params.SetValue("WaitOnLocks", "False");
  } else {
    const int default_seconds = std::stoi(Setting(SettingId::kLockTimeout).default_text);
    const int seconds =
        ConnectionLockTimeout(settings_.lock_timeout, settings_.attachment != nullptr,
                              ProcessSeconds(platform_, SettingId::kLockTimeout), default_seconds);
    if (settings_.lock_timeout || seconds != default_seconds)
      params.SetValue("LockTimeout", std::to_string(seconds));
  }
  const int connect_timeout = ProcessSeconds(platform_, SettingId::kConnectTimeout);
  if (connect_timeout != std::stoi(Setting(SettingId::kConnectTimeout).default_text))
    params.SetValue("Connection Timeout", std::to_string(connect_timeout));
  strategy_->Configure(params);
  connection_->SetConnected(true);
  summary_.connected = true;
  if (settings_.admitted) ConfirmAdmittedFile(platform_, *connection_, *settings_.admitted);
  if (!settings_.once_id.empty()) {
    once_ = std::make_unique<OnceRun>(platform_, settings_, script_, database_path_);
    std::string already;
    if (!once_->Begin(*connection_, &already)) {
      once_.reset();
      DestroyConnection(std::move(connection_));
      summary_.result_ok = true;
      summary_.already_applied = true;
      summary_.result_text = std::move(already);
      return false;
    }
  }
  strategy_->Opened(*this);
  return true;
}

void ScriptRun::RecordOnce() noexcept {
  if (once_ == nullptr) return;
  once_->End(summary_);
  once_.reset();
}

// One statement, or the end when there are none left. Failures that escape
// end the run (a failure file that cannot be written, a failed last commit
// or close).
bool ScriptRun::RunNext(StatementOutcome* outcome) {
  ScriptStatement statement;
  if (exiting_ || !source_->Next(&statement)) {
    Close();
    return false;
  }
  StartOutcome(statement, outcome);
  if (statement.kind == ScriptStatement::Kind::kSql || statement.kind == ScriptStatement::Kind::kRefused)
    statement_met_ = true;
  bool keep_going = true;
  switch (statement.kind) {
    case ScriptStatement::Kind::kSql: {
      // Under PLANONLY nothing runs: no line commits or rolls back.
      const StatementClass kind =
          plan_only_ ? StatementClass::kOther : ClassifyForRun(statement.text);
      committed_in_step_ = false;
      Spanned(statement);
      if (const std::string_view refusal = strategy_->Refusal(kind); !refusal.empty()) {
        current_statement_.assign(statement.text);
        outcome->message.assign(refusal);
        RecordFailure(statement.index, outcome);
      } else if (Execute(statement, outcome)) {
        // The connection is gone: every later statement would fail the same way.
        keep_going = false;
      }
      if (state_ != State::kRunning || outcome->status == OutcomeStatus::kTolerated) break;
      const bool was_failed = outcome->status == OutcomeStatus::kFailed;
      if (!strategy_->AfterStatement(*this, kind, *outcome)) keep_going = false;
      if (!was_failed && outcome->status == OutcomeStatus::kFailed)
        RecordFailure(statement.index, outcome);
      if (strategy_->KeepsPendingWork() && outcome->status == OutcomeStatus::kOk && !plan_only_ &&
          !committed_in_step_ && (kind == StatementClass::kOther || kind == StatementClass::kDdl)) {
        outcome->status = OutcomeStatus::kDone;
        ++pending_;
      }
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
    case ScriptStatement::Kind::kCommand:
      ApplyCommand(statement, outcome);
      if (state_ == State::kRunning && outcome->status == OutcomeStatus::kFailed &&
          !strategy_->AfterStatement(*this, StatementClass::kOther, *outcome))
        keep_going = false;
      break;
    case ScriptStatement::Kind::kRefused:
      Spanned(statement);
      current_statement_.assign(statement.text);
      outcome->message.assign(statement.reason);
      RecordFailure(statement.index, outcome);
      if (state_ == State::kRunning && !strategy_->AfterStatement(*this, StatementClass::kOther, *outcome))
        keep_going = false;
      break;
  }
  Report(*outcome);
  if (!keep_going && state_ == State::kRunning) BreakOff(outcome->message);
  DeliverTransactions(state_ != State::kRunning);
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
    if (settings_.tolerate_exists && FailsAsAlreadyDone(statement.text, e.Details().codes)) {
      outcome->status = OutcomeStatus::kTolerated;
      outcome->elapsed_us = NowMicroseconds() - started;
      return false;
    }
    // On a caller's own attachment a cancelled statement (the caller's
    // statement cancelled, or its timeout) ends the run: the cancel was meant
    // for the whole call.
    lost = e.Details().connection_lost ||
           (settings_.attachment != nullptr && e.Details().sqlstate == kSqlStateCancelled);
  } catch (...) {
    outcome->message = CurrentExceptionText();
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
    if (failure_folder_.empty()) {
      failure_folder_ = FailureFolder(platform_, settings_.failure_folder);
      if (!settings_.failure_subfolder.empty()) {
        failure_folder_ = JoinPath(failure_folder_, settings_.failure_subfolder);
        const std::string folder = std::exchange(failure_folder_, std::string());
        if (const int error = platform_.CreateFolder(folder); error != 0)
          throw EFCreateError("cannot make the failure folder " + folder + ": " +
                              platform_.ErrorText(error));
        // Under a folder anyone can write (/tmp), one made beforehand by
        // someone else would let them read and replace the files.
        FileFacts facts;
        if (platform_.ReadLinkFacts(folder, &facts) != 0 || !facts.folder || facts.link ||
            facts.owner != platform_.EffectiveUser())
          throw EFCreateError("cannot make the failure folder " + folder +
                              ": it is there already, and not this user's own folder");
        failure_folder_ = folder;
      }
    }
    WriteFailureFile(platform_, FailureFilePath(failure_folder_, index), current_statement_,
                     database_path_);
    outcome->failure_file = true;
  } catch (...) {
    BreakOffOnCurrentException();
  }
}

void ScriptRun::ExecuteControl(const char* sql) { connection_->ExecuteSqlDirect(sql); }

void ScriptRun::Committed() { TransactionEnded(true); }

void ScriptRun::RolledBack() { TransactionEnded(false); }

void ScriptRun::Spanned(const ScriptStatement& statement) {
  if (span_first_line_ == 0) span_first_line_ = statement.first_line;
  span_last_line_ = statement.last_line;
}

void ScriptRun::CommittedAlone() { committed_in_step_ = true; }

// Nothing of this step waits for a commit any more.
void ScriptRun::TransactionEnded(bool committed) {
  TransactionOutcome ended;
  ended.committed = committed;
  ended.first_line = span_first_line_;
  ended.last_line = span_last_line_;
  ended.statements = pending_;
  (committed ? summary_.ok : summary_.rolled_back) += pending_;
  pending_ = 0;
  span_first_line_ = span_last_line_ = 0;
  committed_in_step_ = true;
  transactions_.push_back(ended);
}

void ScriptRun::DeliverTransactions(bool ends_run) noexcept {
  for (TransactionOutcome& ended : transactions_) {
    ended.ends_run = ends_run;
    for (RunObserver* observer : observers_) observer->OnTransaction(ended);
  }
  transactions_.clear();
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
  summary_.result_ok = true;
  summary_.result_text = kSResultOk;
  RecordOnce();
  DestroyConnection(std::move(connection_));
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
  // Closing the connection undoes what the run left open.
  try {
    if (connection_ != nullptr && span_first_line_ != 0 && strategy_->KeepsPendingWork())
      RolledBack();
  } catch (...) {
  }
  RecordOnce();
  try {
    DestroyConnection(std::move(connection_));
  } catch (...) {
  }
}

void ScriptRun::Interrupt(std::string_view why) noexcept {
  if (state_ != State::kNew && state_ != State::kRunning) return;
  BreakOff(why);
  try {
    summary_.result_text = why;  // no statement failed: the result names none
  } catch (...) {
  }
}

void ScriptRun::End() {
  state_ = State::kDone;
  DeliverTransactions(true);
  summary_.elapsed_us = NowMicroseconds() - started_us_;
  for (RunObserver* observer : observers_)
    if (observer->Incomplete()) summary_.run_log_incomplete = true;
  for (RunObserver* observer : observers_) observer->OnRunEnd(summary_);
}

// A done statement counts ok or rolled back when its transaction ends.
void ScriptRun::Report(const StatementOutcome& outcome) {
  ++summary_.statements;
  switch (outcome.status) {
    case OutcomeStatus::kOk: ++summary_.ok; break;
    case OutcomeStatus::kFailed: ++summary_.failed; break;
    case OutcomeStatus::kSkipped: ++summary_.skipped; break;
    case OutcomeStatus::kNotRun: ++summary_.not_run; break;
    case OutcomeStatus::kDone: break;
    case OutcomeStatus::kRolledBack: ++summary_.rolled_back; break;
    case OutcomeStatus::kTolerated: ++summary_.tolerated; break;
  }
  for (RunObserver* observer : observers_) observer->OnOutcome(outcome);
}

const char* OutcomeStatusName(OutcomeStatus status) {
  switch (status) {
    case OutcomeStatus::kOk: return "ok";
    case OutcomeStatus::kFailed: return "failed";
    case OutcomeStatus::kSkipped: return "skipped";
    case OutcomeStatus::kNotRun: return "not run";
    case OutcomeStatus::kDone: return "done";
    case OutcomeStatus::kRolledBack: return "rolled back";
    case OutcomeStatus::kTolerated: return "tolerated";
  }
  return "";
}

}  // namespace tolvane
