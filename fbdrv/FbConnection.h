// One attachment to a Firebird database and the transactions its statements
// run in.
#pragma once

#include <string>
#include <vector>

#include "driver/SqlDriver.h"
#include "fbdrv/ClientLibrary.h"
#include "fbdrv/ConnectionOptions.h"
#include "fbdrv/ErrorSlot.h"
#include "fbdrv/RefCounted.h"
#include "fbdrv/ServerStatus.h"
#include "fbdrv/TransactionParameters.h"

namespace tolvane::fbdrv {

class FbRowCursor;

// Transactions:
//  - auto-commit (the default): each statement runs in a transaction of its
//    own, committed when it succeeds (for rows, when its cursor is released)
//    and rolled back when it fails;
//  - auto-commit with commit-retain: one transaction is kept and committed
//    with retaining after each successful statement;
//  - auto-commit off: one transaction is kept across statements until a
//    COMMIT or ROLLBACK line ends it; detaching rolls back what is left.
class FbConnection final : public RefCounted<ISQLConnection> {
 public:
  // connect_timeout: seconds an attach waits for the server when the
  // connection's own option does not say; 0 = the client's configuration.
  FbConnection(const ClientLibrary& client, int connect_timeout);

  DriverResult AttachDatabase(const char* database, const char* user_name,
                              const char* password) noexcept override;
  DriverResult DetachDatabase() noexcept override;
  DriverResult CreateCommand(ISQLStatement** statement) noexcept override;
  DriverResult CreateMetaData(ISQLMetaData** meta_data) noexcept override;
  DriverResult SetConnectionOption(ConnectionOption id, OptionValue value) noexcept override;
  DriverResult GetConnectionOption(ConnectionOption id, void* buffer, std::int16_t buffer_length,
                                   std::int16_t* length) noexcept override;
  DriverResult GetErrorText(char* buffer) noexcept override;
  DriverResult GetErrorTextLength(std::int16_t* length) noexcept override;

  // --- for the connection's statements, cursors and metadata ---
  bool Attached() const noexcept { return attachment_ != nullptr; }
  // Throws DriverFailure (4) when not attached.
  Firebird::IAttachment* RequireAttachment();
  ServerStatus& Status() noexcept { return status_; }
  unsigned Dialect() const noexcept { return static_cast<unsigned>(options_.sql_dialect); }

  // The transaction one statement is to run in: a new one in plain
  // auto-commit, otherwise the kept one (started when there is none).
  Firebird::ITransaction* BeginWork();
  // Ends one statement's work. `transaction` is what BeginWork gave, or
  // what the statement's execution returned when it succeeded (null when the
  // statement itself ended the transaction). Throws DriverFailure when a
  // commit fails; the transaction is then rolled back.
  void FinishWork(Firebird::ITransaction* transaction, bool succeeded);
  // Ends the work of a released cursor: `own` is the transaction it owns, or
  // null when it ran in the kept one.
  void FinishCursorWork(Firebird::ITransaction* own);
  void RollbackQuietly(Firebird::ITransaction* transaction) noexcept;
  // Whether BeginWork hands out a transaction the statement owns.
  bool OwnsWorkTransaction() const noexcept { return options_.auto_commit && !options_.commit_retain; }
  // A COMMIT or ROLLBACK line: ends the kept transaction when auto-commit is
  // off; has no effect otherwise.
  void EndTransaction(bool commit);

  void RegisterCursor(FbRowCursor* cursor);
  void ForgetCursor(FbRowCursor* cursor) noexcept;

 private:
  ~FbConnection() override;

  std::string DatabaseString(const char* database) const;
  int ConnectTimeout() const noexcept;
  void Detach();
  void RebuildTransactionParameters() noexcept;

  const ClientLibrary& client_;
  ServerStatus status_;
  ErrorSlot error_;
  ConnectionOptions options_;
  int default_connect_timeout_;
  int lock_timeout_ = kDefaultLockTimeout;
  TransactionParameters transaction_parameters_{options_, lock_timeout_};
  Firebird::IAttachment* attachment_ = nullptr;
  Firebird::ITransaction* kept_transaction_ = nullptr;
  std::vector<FbRowCursor*> open_cursors_;
};

}  // namespace tolvane::fbdrv
