#include "fbdrv/FbTransactions.h"

#include <algorithm>
#include <utility>

#include "fbdrv/FbRowCursor.h"

namespace tolvane::fbdrv {
namespace {

using Firebird::CheckStatusWrapper;
using Firebird::ITransaction;

void Commit(ITransaction* transaction, CheckStatusWrapper* s) { transaction->commit(s); }
void Rollback(ITransaction* transaction, CheckStatusWrapper* s) { transaction->rollback(s); }

}  // namespace

FbTransactions::FbTransactions(ServerStatus& status, const ConnectionOptions& options,
                               int default_lock_timeout) noexcept
    : status_(status), options_(options), default_lock_timeout_(default_lock_timeout) {}

void FbTransactions::Configure(bool attached) noexcept {
  if (attached) {
    lock_timeout_ = options_.attachment != 0 && !adopted_own_
                        ? AdoptedLockTimeout(options_.lock_timeout)
                        : options_.lock_timeout >= 0 ? options_.lock_timeout
                                                     : default_lock_timeout_;
  }
  parameters_ = TransactionParameters(options_, lock_timeout_);
  ddl_parameters_ = TransactionParameters(options_, lock_timeout_, Isolation::kReadCommitted);
}

ITransaction* FbTransactions::Begin(Firebird::IAttachment* attachment) {
  auto start = [&] {
    return status_.Checked([&](CheckStatusWrapper* s) {
      return attachment->startTransaction(s, parameters_.Length(), parameters_.Data());
    });
  };
  if (OwnsWork()) return start();
  if (!kept_) kept_ = TransactionHandle(status_, start());
  return kept_.Get();
}

void FbTransactions::Finish(ITransaction* transaction, bool succeeded) {
  if (OwnsWork()) {
    // A failed statement, or a failed commit, is rolled back as `own` goes.
    TransactionHandle own(status_, transaction);
    if (own && succeeded) own.End(Commit);
    return;
  }
  // The kept transaction: a statement may have ended or replaced it itself.
  if (succeeded) kept_.Replace(transaction);
  if (!succeeded || !options_.auto_commit || !kept_) return;
  try {
    status_.Checked([&](CheckStatusWrapper* s) { kept_->commitRetaining(s); });
  } catch (...) {
    kept_.Release();
    throw;
  }
}

void FbTransactions::FinishCursor(TransactionHandle own) {
  if (own) {
    own.End(Commit);  // a failed commit is rolled back as `own` goes
    return;
  }
  if (kept_) Finish(kept_.Get(), true);
}

void FbTransactions::End(bool commit) {
  CommitDdl();
  if (options_.auto_commit || !kept_) return;
  TransactionHandle transaction = std::move(kept_);
  if (commit) {
    transaction.End(Commit);  // a failed commit is rolled back as the handle goes
    return;
  }
  try {
    transaction.End(Rollback);
  } catch (...) {
    transaction.Take()->release();  // not rolled back a second time
    throw;
  }
}

ITransaction* FbTransactions::Ddl(Firebird::IAttachment* attachment) {
  if (!ddl_) {
    ddl_ = TransactionHandle(status_, status_.Checked([&](CheckStatusWrapper* s) {
      return attachment->startTransaction(s, ddl_parameters_.Length(), ddl_parameters_.Data());
    }));
  }
  return ddl_.Get();
}

void FbTransactions::CommitDdl() {
  if (ddl_) ddl_.End(Commit);  // a failed commit is rolled back as the handle goes
}

void FbTransactions::RollBackKept() {
  if (!kept_) return;
  TransactionHandle transaction = std::move(kept_);
  try {
    transaction.End(Rollback);
  } catch (...) {
    transaction.Take()->release();  // not rolled back a second time
    throw;
  }
}

void FbTransactions::Keep(ITransaction* transaction) noexcept {
  kept_ = TransactionHandle(status_, transaction);
}

void FbTransactions::Abandon() noexcept {
  while (!open_cursors_.empty()) open_cursors_.back()->Abandon();
  kept_.Release();
  ddl_.Release();
}

void FbTransactions::Register(FbRowCursor* cursor) { open_cursors_.push_back(cursor); }

void FbTransactions::Forget(FbRowCursor* cursor) noexcept { std::erase(open_cursors_, cursor); }

}  // namespace tolvane::fbdrv
