// The transactions one connection's statements run in, and who commits when:
//  - auto-commit (the default): each statement runs in a transaction of its
//    own, committed when it succeeds (for rows, when its cursor is released)
//    and rolled back when it fails;
//  - auto-commit with commit-retain: one transaction is kept and committed
//    with retaining after each successful statement;
//  - auto-commit off: one transaction is kept across statements until a
//    COMMIT or ROLLBACK line ends it; detaching rolls back what is left.
#pragma once

#include <firebird/Interface.h>

#include <vector>

#include "fbdrv/ConnectionOptions.h"
#include "fbdrv/FbHandle.h"
#include "fbdrv/LockTimeout.h"
#include "fbdrv/ServerStatus.h"
#include "fbdrv/TransactionParameters.h"

namespace tolvane::fbdrv {

class FbRowCursor;

class FbTransactions {
 public:
  // options: the connection's, read at each Configure and each statement.
  // default_lock_timeout: the driver's, for a connection whose own option
  // does not say.
  FbTransactions(ServerStatus& status, const ConnectionOptions& options,
                 int default_lock_timeout) noexcept;
  FbTransactions(const FbTransactions&) = delete;
  FbTransactions& operator=(const FbTransactions&) = delete;

  // After the options changed, or the attach (`attached`): rebuilds the
  // parameter block. The lock timeout is fixed at the attach, from the
  // option or the driver's default, and follows the option while attached;
  // on an adopted attachment it is bounded (AdoptedLockTimeout).
  void Configure(bool attached) noexcept;
  // The adopted attachment is one this driver opened (OwnAttachments.h):
  // its lock waits are the connection's own, unbounded by adoption.
  void SetAdoptedOwn(bool own) noexcept { adopted_own_ = own; }
  int LockTimeout() const noexcept { return lock_timeout_; }

  // Whether Begin hands out a transaction the statement owns.
  bool OwnsWork() const noexcept { return options_.auto_commit && !options_.commit_retain; }
  // The transaction one statement is to run in: a new one in plain
  // auto-commit, otherwise the kept one (started when there is none).
  Firebird::ITransaction* Begin(Firebird::IAttachment* attachment);
  // Ends one statement's work. `transaction` is what Begin gave, or what the
  // statement's execution returned when it succeeded (null when the
  // statement itself ended the transaction). Throws DriverFailure when a
  // commit fails; the transaction is then rolled back.
  void Finish(Firebird::ITransaction* transaction, bool succeeded);
  // Ends the work of a released cursor: `own` holds the transaction it owns,
  // or nothing when it ran in the kept one.
  void FinishCursor(TransactionHandle own);
  // With coDdlOwnTransaction: the transaction DDL runs in and statements are
  // prepared in (read committed, as isql's: it sees every DDL committed so
  // far), started when needed.
  // CommitDdl commits it: after each DDL, and with a COMMIT or ROLLBACK line.
  Firebird::ITransaction* Ddl(Firebird::IAttachment* attachment);
  void CommitDdl();
  // SET TRANSACTION with auto-commit off: RollBackKept before it runs, Keep
  // with the transaction it started.
  void RollBackKept();
  void Keep(Firebird::ITransaction* transaction) noexcept;
  // A COMMIT or ROLLBACK line: ends the kept transaction when auto-commit is
  // off; has no effect otherwise.
  void End(bool commit);
  // Before a detach: cursors still held lose their work (what they read is
  // rolled back), and so does the kept transaction.
  void Abandon() noexcept;

  void Register(FbRowCursor* cursor);
  void Forget(FbRowCursor* cursor) noexcept;

 private:
  ServerStatus& status_;
  const ConnectionOptions& options_;
  const int default_lock_timeout_;
  int lock_timeout_ = kDefaultLockTimeout;
  bool adopted_own_ = false;
  TransactionParameters parameters_{options_, lock_timeout_};
  TransactionParameters ddl_parameters_{options_, lock_timeout_, Isolation::kReadCommitted};
  TransactionHandle kept_{status_};
  TransactionHandle ddl_{status_};
  std::vector<FbRowCursor*> open_cursors_;
};

}  // namespace tolvane::fbdrv
