// The cursor of a statement that returns rows, fetched to its end when the
// statement ran; releasing it closes it and ends its work (in auto-commit,
// commits its transaction).
#pragma once

#include <firebird/Interface.h>

#include "driver/SqlDriver.h"
#include "fbdrv/FbConnection.h"
#include "fbdrv/RefCounted.h"

namespace tolvane::fbdrv {

class FbRowCursor final : public RefCounted<ISQLRowCursor> {
 public:
  // Takes over the result set and the prepared statement; `own_transaction`
  // is the transaction the cursor owns, or null when it reads in the
  // connection's kept transaction.
  FbRowCursor(Ref<FbConnection> connection, Firebird::IStatement* statement,
              Firebird::IResultSet* results, Firebird::ITransaction* own_transaction);

  // Called by the connection when it detaches first: closes the cursor and
  // rolls its transaction back.
  void Abandon() noexcept;

 private:
  ~FbRowCursor() override;

  void CloseResults() noexcept;

  Ref<FbConnection> connection_;
  Firebird::IStatement* statement_;
  Firebird::IResultSet* results_;
  Firebird::ITransaction* own_transaction_;
};

}  // namespace tolvane::fbdrv
