#include "fbdrv/FbRowCursor.h"

#include <utility>

namespace tolvane::fbdrv {

FbRowCursor::FbRowCursor(DriverRef<FbConnection> connection, StatementHandle&& statement,
                         ResultSetHandle&& results, Firebird::ITransaction* own_transaction)
    : connection_(std::move(connection)),
      statement_(connection_->Status()),
      results_(connection_->Status()),
      own_transaction_(connection_->Status()) {
  connection_->Transactions().Register(this);
  statement_ = std::move(statement);
  results_ = std::move(results);
  own_transaction_ = TransactionHandle(connection_->Status(), own_transaction);
}

FbRowCursor::~FbRowCursor() {
  if (!results_) return;  // abandoned when the connection detached
  CloseResults();
  try {
    connection_->Transactions().FinishCursor(std::move(own_transaction_));
  } catch (...) {
    // Release cannot report; the failed commit has been rolled back.
  }
}

void FbRowCursor::CloseResults() noexcept {
  connection_->Transactions().Forget(this);
  results_.Release();
  statement_.Release();
}

void FbRowCursor::Abandon() noexcept {
  if (!results_) return;
  CloseResults();
  own_transaction_.Release();
}

}  // namespace tolvane::fbdrv
