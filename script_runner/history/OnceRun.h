// Apply once: the run's side of the target database's history of applied
// scripts (TOLVANE$HISTORY). Before the run's first statement it takes the
// id's lock on the run's own attachment, so that the server lets it go by
// itself when that attachment ends, however it ends; it then reads the id's
// last attempt and says whether the script runs. After the run it records
// the outcome and lets the lock go.
//
// The lock is the id's row of attempt 0 (committed once, the first time the
// id is used), updated by a transaction that stays open for the whole run
// and is never committed: a second caller's update of that row waits for
// the transaction (bounded by the run's lock timeout) and goes ahead once it
// is gone. Every attempt's own row is committed at its start, with status
// "broken off" and no end time, so a runner that dies leaves exactly that
// behind.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "runtime/Exceptions.h"
#include "connection/DatabaseError.h"
#include "script_runner/engine/RunSettings.h"
#include "script_runner/engine/StatementOutcome.h"

namespace tolvane {

class Platform;
class TSQLConnection;

// A once run that may not go ahead (a changed script, a wait that timed
// out, a history that cannot be created or written); its message says why.
class EOnceRefused : public Exception {
  using Exception::Exception;
};

class OnceRun {
 public:
  // script: the bytes the checksum is taken of.
  OnceRun(Platform& platform, const RunSettings& settings, std::string_view script,
          std::string database_path);
  // Lets the lock go (the lock's transaction rolls back) without recording.
  ~OnceRun();
  OnceRun(const OnceRun&) = delete;
  OnceRun& operator=(const OnceRun&) = delete;

  // On the run's open connection: true when the script is to run (its
  // attempt row is then committed); false when the id is applied with the
  // same checksum, with the text of when and by whom in *already. Raises
  // EOnceRefused.
  bool Begin(TSQLConnection& run_connection, std::string* already);

  // The run's end, while its connection is still open: records the attempt
  // (applied when the run ended ok with nothing failed, failed otherwise)
  // and lets the lock go. Nothing is raised: an attachment that is gone
  // leaves the attempt as it was written at its start (broken off).
  void End(const RunSummary& summary) noexcept;

 private:
  void EnsureTable();
  void TakeLock();
  // The id's row of attempt 0, made the first time the id is used; false
  // when it could not be made now (another caller is making it).
  bool CreateLockRow();
  // The attachment that runs the id now, as far as its attempt row tells.
  std::string Holder();
  [[noreturn]] void LockRefused(const EDatabaseError& error);
  void Release() noexcept;

  Platform& platform_;
  const RunSettings& settings_;
  std::string database_path_;
  std::string checksum_;
  std::string id_literal_;
  std::string attachment_param_;  // the run's attachment, as a connection adopts it
  std::unique_ptr<TSQLConnection> lock_;
  int attempt_ = 0;  // the attempt this run records; 0: none
};

}  // namespace tolvane
