#include "fbdrv/FbRowCursor.h"

#include <utility>

namespace tolvane::fbdrv {

FbRowCursor::FbRowCursor(Ref<FbConnection> connection, Firebird::IStatement* statement,
                         Firebird::IResultSet* results, Firebird::ITransaction* own_transaction)
    : connection_(std::move(connection)),
      statement_(statement),
      results_(results),
      own_transaction_(own_transaction) {
  connection_->RegisterCursor(this);
}

FbRowCursor::~FbRowCursor() {
  if (results_ == nullptr) return;  // abandoned when the connection detached
  CloseResults();
  try {
    connection_->FinishCursorWork(std::exchange(own_transaction_, nullptr));
  } catch (...) {
    // Release cannot report; the failed commit has been rolled back.
  }
}

void FbRowCursor::CloseResults() noexcept {
  connection_->ForgetCursor(this);
  ServerStatus& status = connection_->Status();
  Firebird::IResultSet* results = std::exchange(results_, nullptr);
  if (!status.Quiet([&](Firebird::CheckStatusWrapper* s) { results->close(s); })) {
    results->release();
  }
  Firebird::IStatement* statement = std::exchange(statement_, nullptr);
  if (!status.Quiet([&](Firebird::CheckStatusWrapper* s) { statement->free(s); })) {
    statement->release();
  }
}

void FbRowCursor::Abandon() noexcept {
  if (results_ == nullptr) return;
  CloseResults();
  connection_->RollbackQuietly(std::exchange(own_transaction_, nullptr));
}

}  // namespace tolvane::fbdrv
