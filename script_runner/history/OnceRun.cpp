#include "script_runner/history/OnceRun.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "connection/SQLConnection.h"
#include "runtime/Sha256.h"
#include "script_runner/settings/RunOptions.h"
#include "script_runner/function/ScriptRunner.h"
#include "script_runner/history/HistoryTable.h"

namespace tolvane {
namespace {

using Row = std::vector<std::optional<std::string>>;

// Firebird's codes for a lock wait that ended without the lock: a deadlock,
// a conflict without waiting, an update conflict, a lock time-out.
constexpr std::int64_t kLockWaitCodes[] = {335544336, 335544345, 335544451, 335544510};
constexpr std::int64_t kNoPermission = 335544352;
constexpr std::int64_t kTableUnknown = 335544580;
constexpr std::int64_t kLockTimedOut = 335544510;
// Seconds a once run waits for its id when the run sets no lock timeout.
constexpr int kDefaultOnceWait = 60;
constexpr std::string_view kLockTimedOutState = "40001";

std::string Cell(const Row& row, std::size_t index) {
  return index < row.size() && row[index] ? *row[index] : std::string();
}

// A database error on one line, for a text of our own around it.
std::string FirstLine(std::string message) {
  for (char& c : message)
    if (c == '\n' || c == '\r') c = ' ';
  return message;
}

bool HasCode(const EDatabaseError& error, std::int64_t code) {
  const DriverFailureDetails& details = error.Details();
  return details.isc_code == code ||
         std::find(details.codes.begin(), details.codes.end(), code) != details.codes.end();
}

bool IsLockWait(const EDatabaseError& error) {
  for (std::int64_t code : kLockWaitCodes)
    if (HasCode(error, code)) return true;
  return error.Details().sqlstate == kLockTimedOutState;
}

// A result text as the table keeps it: cut to its column; bytes outside
// ASCII as '?' when plain is asked (a text the attachment's character set
// refused).
std::string Kept(std::string text, bool plain) {
  if (text.size() > kHistoryResultBytes) text.resize(kHistoryResultBytes);
  if (plain)
    for (char& c : text)
      if (static_cast<unsigned char>(c) >= 0x80 || c == '\0') c = '?';
  return text;
}

}  // namespace

OnceRun::OnceRun(Platform& platform, const RunSettings& settings, std::string_view script,
                 std::string database_path)
    : platform_(platform),
      settings_(settings),
      database_path_(std::move(database_path)),
      checksum_(Sha256Hex(script)),
      id_literal_(SqlLiteral(settings.once_id)) {}

OnceRun::~OnceRun() { Release(); }

void OnceRun::Release() noexcept {
  try {
    if (lock_ != nullptr) lock_->ExecuteSqlDirect("ROLLBACK");
  } catch (...) {
  }
  try {
    DestroyConnection(lock_.release());
  } catch (...) {
  }
}

bool OnceRun::Begin(TSQLConnection& run_connection, std::string* already) {
  // On the run's own attachment, in a transaction of its own that keeps the
  // lock: whatever ends the attachment ends the lock with it.
  lock_ = std::make_unique<TSQLConnection>(nullptr, platform_);
  ConfigureRunnerConnection(*lock_, database_path_);
  TStringList& params = lock_->Params();
  params.SetValue("User_Name", "");
  params.SetValue("Password", "");
  params.SetValue("RoleName", "");
  attachment_param_ = AttachmentParam(run_connection.AttachmentAddress());
  params.SetValue("Attachment", attachment_param_);
  params.SetValue("AutoCommit", "False");
  if (settings_.lock_timeout) {
    if (*settings_.lock_timeout == kLockNoWait) params.SetValue("WaitOnLocks", "False");
    else params.SetValue("LockTimeout", std::to_string(*settings_.lock_timeout));
  }
  lock_->SetConnected(true);
  TakeLock();

  Row last;
  int last_attempt = 0;
  if (lock_->SelectFirstRow("SELECT ATTEMPT, STATUS, CHECKSUM, CAST(ENDED_AT AS VARCHAR(24)), "
                            "USER_NAME FROM TOLVANE$HISTORY WHERE ID = " + id_literal_ +
                                " AND ATTEMPT > 0 ORDER BY ATTEMPT DESC ROWS 1",
                            &last)) {
    last_attempt = std::stoi(Cell(last, 0));
    if (Cell(last, 1) == kHistoryApplied) {
      const std::string applied_at = Cell(last, 3);
      if (Cell(last, 2) == checksum_) {
        *already = "already applied at " + applied_at + " by " + Cell(last, 4);
        Release();
        return false;
      }
      if (!settings_.once_rerun_changed)
        throw EOnceRefused("The script of '" + settings_.once_id + "' changed since it was applied at " +
                           applied_at + ": applied with checksum " + Cell(last, 2) +
                           ", this script has checksum " + checksum_ +
                           "; give a new id, or once_changed=rerun to run it as a new attempt");
    }
  }
  attempt_ = last_attempt + 1;
  const std::string caller =
      settings_.caller.user.empty() ? std::string("NULL") : SqlLiteral(settings_.caller.user);
  lock_->ExecuteSqlDirect(
      "EXECUTE BLOCK AS BEGIN IN AUTONOMOUS TRANSACTION DO "
      "INSERT INTO TOLVANE$HISTORY (ID, ATTEMPT, CHECKSUM, STATUS, USER_NAME, ROLE_NAME, "
      "CALLER_USER, ROUTINE, ATTACHMENT_ID, STARTED_AT, RUN_MODE, DIALECT) VALUES (" +
      id_literal_ + ", " + std::to_string(attempt_) + ", '" + checksum_ + "', '" +
      kHistoryBrokenOff +
      "', CAST(CURRENT_USER AS VARCHAR(252) CHARACTER SET NONE), "
      "CAST(CURRENT_ROLE AS VARCHAR(252) CHARACTER SET NONE), " +
      caller + ", " + SqlLiteral(settings_.caller.routine) + ", CURRENT_CONNECTION, " +
      "CURRENT_TIMESTAMP, '" + RunModeName(settings_.mode) + "', '" +
      DialectName(settings_.dialect) + "'); END");
  return true;
}

void OnceRun::EnsureTable() {
  Row row;
  if (lock_->SelectFirstRow(HistoryTableExists(), &row)) return;
  try {
    // Committed on its own, before the lock's transaction begins.
    lock_->ExecuteSqlDirect(HistoryTableDdl());
    lock_->ExecuteSqlDirect("COMMIT");
    return;
  } catch (const EDatabaseError& error) {
    try {
      lock_->ExecuteSqlDirect("ROLLBACK");
    } catch (...) {
    }
    // Another run may have created it meanwhile.
    if (lock_->SelectFirstRow(HistoryTableExists(), &row)) return;
    throw EOnceRefused(
        "The history table TOLVANE$HISTORY does not exist and this run's user may not create it (" +
        FirstLine(error.Message()) +
        "): create it once with scripts/install-udf.sh --history, or run once as a user who may "
        "create tables (or grant CREATE TABLE to this run's user)");
  }
}

void OnceRun::TakeLock() {
  // The lock is a row lock on the id's committed row of attempt 0: a waiter
  // holds nothing while it waits, so waiters never wait on each other, and
  // whichever of them the server lets in first holds the lock next. A wait
  // the server ends early (a conflict with a holder that just let go, a
  // lock row still being created) is tried again after a short pause until
  // the run's lock timeout is used up; a wait that times out ends it.
  const int seconds = settings_.lock_timeout.value_or(kDefaultOnceWait);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  std::minstd_rand jitter(static_cast<unsigned>(
      std::chrono::steady_clock::now().time_since_epoch().count()));
  bool table_made = false;
  for (int pause_ms = 5;; pause_ms = std::min(pause_ms * 2, 200)) {
    try {
      if (lock_->ExecuteSqlDirect("UPDATE TOLVANE$HISTORY SET ATTACHMENT_ID = CURRENT_CONNECTION "
                                  "WHERE ID = " + id_literal_ + " AND ATTEMPT = 0") > 0)
        return;
      if (CreateLockRow()) continue;
    } catch (const EDatabaseError& error) {
      // The first run under any id makes the table; until then a run costs
      // no look at the catalogue.
      if (HasCode(error, kTableUnknown) && !table_made) {
        try {
          lock_->ExecuteSqlDirect("ROLLBACK");
        } catch (...) {
        }
        EnsureTable();
        table_made = true;
        continue;
      }
      if (!IsLockWait(error) || HasCode(error, kLockTimedOut) || seconds == kLockNoWait)
        LockRefused(error);
      try {
        lock_->ExecuteSqlDirect("ROLLBACK");
      } catch (...) {
      }
    }
    if (seconds == kLockNoWait || (seconds != 0 && std::chrono::steady_clock::now() >= deadline))
      throw EOnceRefused("'" + settings_.once_id + "' is being applied by " + Holder() +
                         ": the wait for it ended; nothing was run");
    std::this_thread::sleep_for(std::chrono::milliseconds(
        pause_ms / 2 + static_cast<int>(jitter() % static_cast<unsigned>(pause_ms))));
  }
}

bool OnceRun::CreateLockRow() {
  // Committed at once and without waiting: two callers that create it at
  // the same moment would otherwise wait on each other's new key.
  TSQLConnection creator(nullptr, platform_);
  ConfigureRunnerConnection(creator, database_path_);
  TStringList& params = creator.Params();
  params.SetValue("User_Name", "");
  params.SetValue("Password", "");
  params.SetValue("RoleName", "");
  params.SetValue("Attachment", attachment_param_);
  params.SetValue("WaitOnLocks", "False");
  creator.SetConnected(true);
  try {
    creator.ExecuteSqlDirect("INSERT INTO TOLVANE$HISTORY (ID, ATTEMPT) VALUES (" + id_literal_ + ", 0)");
    return true;
  } catch (const EDatabaseError& error) {
    // Another caller's row, committed or on its way: the lock is taken on it.
    if (error.Details().isc_code == kNoPermission) LockRefused(error);
    return false;
  }
}

std::string OnceRun::Holder() {
  std::string holder = "an attachment that has not recorded its attempt yet";
  try {
    lock_->ExecuteSqlDirect("ROLLBACK");
    Row row;
    if (lock_->SelectFirstRow("SELECT ATTACHMENT_ID, USER_NAME, CAST(STARTED_AT AS VARCHAR(24)), "
                              "ATTEMPT FROM TOLVANE$HISTORY WHERE ID = " + id_literal_ +
                                  " AND ATTEMPT > 0 AND ENDED_AT IS NULL "
                                  "ORDER BY ATTEMPT DESC ROWS 1",
                              &row))
      holder = "attachment " + Cell(row, 0) + " (user " + Cell(row, 1) + ", attempt " +
               Cell(row, 3) + ", since " + Cell(row, 2) + ")";
  } catch (...) {
  }
  return holder;
}

void OnceRun::LockRefused(const EDatabaseError& error) {
  if (error.Details().isc_code == kNoPermission)
    throw EOnceRefused("This run's user may not write the history table TOLVANE$HISTORY (" +
                       FirstLine(error.Message()) +
                       "): grant SELECT, INSERT, UPDATE ON TOLVANE$HISTORY to it");
  if (!IsLockWait(error)) throw;
  throw EOnceRefused("'" + settings_.once_id + "' is being applied by " + Holder() +
                     ": the wait for it ended (" + FirstLine(error.Message()) + "); nothing was run");
}

void OnceRun::End(const RunSummary& summary) noexcept {
  if (attempt_ != 0 && lock_ != nullptr) {
    const bool applied = summary.result_ok && summary.failed == 0;
    for (const bool plain : {false, true}) {
      try {
        lock_->ExecuteSqlDirect(
            "EXECUTE BLOCK AS BEGIN IN AUTONOMOUS TRANSACTION DO UPDATE TOLVANE$HISTORY SET "
            "STATUS = '" + std::string(applied ? kHistoryApplied : kHistoryFailed) +
            "', ENDED_AT = CURRENT_TIMESTAMP, OK_COUNT = " + std::to_string(summary.ok) +
            ", FAILED_COUNT = " + std::to_string(summary.failed) +
            ", SKIPPED_COUNT = " + std::to_string(summary.skipped) +
            ", TOLERATED_COUNT = " + std::to_string(summary.tolerated) +
            ", RESULT = " + SqlLiteral(Kept(summary.result_text, plain)) +
            " WHERE ID = " + id_literal_ + " AND ATTEMPT = " + std::to_string(attempt_) + "; END");
        break;
      } catch (...) {
        // A result text the attachment's character set refuses goes as
        // plain ASCII; a second failure leaves the attempt broken off.
      }
    }
    attempt_ = 0;
  }
  Release();
}

}  // namespace tolvane
