// One attachment to a Firebird database, its options, and the transactions
// its statements run in (FbTransactions).
#pragma once

#include <string>

#include "driver/SqlDriver.h"
#include "fbdrv/ClientLibrary.h"
#include "fbdrv/ConnectionOptions.h"
#include "fbdrv/ErrorSlot.h"
#include "fbdrv/FbHandle.h"
#include "fbdrv/FbTransactions.h"
#include "fbdrv/RefCounted.h"
#include "fbdrv/ServerStatus.h"

namespace tolvane::fbdrv {

class FbConnection final : public RefCounted<ISQLConnection> {
 public:
  // connect_timeout: seconds an attach waits for the server when the
  // connection's own option does not say; 0 = the client's configuration.
  // lock_timeout: seconds a statement waits for a lock when the connection's
  // own option does not say; 0 = no limit.
  FbConnection(const ClientLibrary& client, int connect_timeout, int lock_timeout);

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
  bool Attached() const noexcept { return static_cast<bool>(attachment_); }
  // Throws DriverFailure (4) when not attached.
  Firebird::IAttachment* RequireAttachment();
  ServerStatus& Status() noexcept { return status_; }
  const ConnectionOptions& Options() const noexcept { return options_; }
  unsigned Dialect() const noexcept { return static_cast<unsigned>(options_.sql_dialect); }
  FbTransactions& Transactions() noexcept { return transactions_; }

 private:
  ~FbConnection() override;

  std::string DatabaseString(const char* database) const;
  int ConnectTimeout() const noexcept;
  // The attach's parameter block.
  BuilderHandle AttachParameters(const char* user_name, const char* password,
                                 int connect_timeout);
  void Detach();
  // AttachDatabase on the attachment of the attachment option.
  void Adopt();

  const ClientLibrary& client_;
  ServerStatus status_;
  ErrorSlot error_;
  ConnectionOptions options_;
  int default_connect_timeout_;
  FbTransactions transactions_;
  // Whether attachment_ is someone else's: released, never detached.
  bool adopted_ = false;
  // Last, so that it goes first.
  AttachmentHandle attachment_{status_};
};

}  // namespace tolvane::fbdrv
