// The cursor of a statement that returns rows, fetched to its end when the
// statement ran; releasing it closes it and ends its work (in auto-commit,
// commits its transaction).
#pragma once

#include <firebird/Interface.h>

#include "driver/DriverRef.h"
#include "driver/SqlDriver.h"
#include "fbdrv/FbConnection.h"
#include "fbdrv/FbHandle.h"
#include "fbdrv/RefCounted.h"

namespace tolvane::fbdrv {

class FbRowCursor final : public RefCounted<ISQLRowCursor> {
 public:
  // Registers with the connection's transactions, then takes over the result
  // set and the prepared statement (they stay with the caller when the
  // registration fails); `own_transaction` is the transaction the cursor
  // owns, or null when it reads in the connection's kept transaction.
  FbRowCursor(DriverRef<FbConnection> connection, StatementHandle&& statement,
              ResultSetHandle&& results, Firebird::ITransaction* own_transaction);

  // Called by the connection's transactions when it detaches first: closes
  // the cursor and rolls its transaction back.
  void Abandon() noexcept;

 private:
  ~FbRowCursor() override;

  void CloseResults() noexcept;

  DriverRef<FbConnection> connection_;
  StatementHandle statement_;
  ResultSetHandle results_;
  TransactionHandle own_transaction_;
};

}  // namespace tolvane::fbdrv
