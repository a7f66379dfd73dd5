#include "fbdrv/FbStatement.h"

#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "fbdrv/DriverFailure.h"
#include "fbdrv/DriverTexts.h"
#include "fbdrv/FbRowCursor.h"
#include "fbdrv/StatementKind.h"

namespace tolvane::fbdrv {
namespace {

using Firebird::CheckStatusWrapper;

// Frees a prepared statement on every way out unless a cursor took it over.
class PreparedStatement {
 public:
  explicit PreparedStatement(ServerStatus& status) noexcept : status_(status) {}
  PreparedStatement(const PreparedStatement&) = delete;
  PreparedStatement& operator=(const PreparedStatement&) = delete;
  ~PreparedStatement() {
    if (statement_ == nullptr) return;
    if (!status_.Quiet([&](CheckStatusWrapper* s) { statement_->free(s); })) {
      statement_->release();
    }
  }
  Firebird::IStatement*& Slot() noexcept { return statement_; }
  Firebird::IStatement* operator->() const noexcept { return statement_; }
  Firebird::IStatement* Take() noexcept { return std::exchange(statement_, nullptr); }

 private:
  ServerStatus& status_;
  Firebird::IStatement* statement_ = nullptr;
};

// Closes an opened result set unless a cursor took it over.
class OpenResults {
 public:
  explicit OpenResults(ServerStatus& status) noexcept : status_(status) {}
  OpenResults(const OpenResults&) = delete;
  OpenResults& operator=(const OpenResults&) = delete;
  ~OpenResults() {
    if (results_ == nullptr) return;
    if (!status_.Quiet([&](CheckStatusWrapper* s) { results_->close(s); })) results_->release();
  }
  Firebird::IResultSet*& Slot() noexcept { return results_; }
  Firebird::IResultSet* Take() noexcept { return std::exchange(results_, nullptr); }

 private:
  ServerStatus& status_;
  Firebird::IResultSet* results_ = nullptr;
};

bool ReturnsRows(unsigned statement_type) noexcept {
  return statement_type == isc_info_sql_stmt_select ||
         statement_type == isc_info_sql_stmt_select_for_upd;
}

// Firebird 5 runs UPDATE, DELETE, MERGE and UPDATE OR INSERT with RETURNING
// as a cursor, which its engine refuses to execute: the rows change as the
// cursor is fetched, so it is fetched to its end and closed.
void FetchToEnd(ServerStatus& status, Firebird::IStatement* statement,
                Firebird::ITransaction* transaction) {
  Firebird::IMessageMetadata* metadata =
      status.Checked([&](CheckStatusWrapper* s) { return statement->getOutputMetadata(s); });
  const std::unique_ptr<Firebird::IMessageMetadata, void (*)(Firebird::IMessageMetadata*)> owned(
      metadata, [](Firebird::IMessageMetadata* m) { m->release(); });
  std::vector<unsigned char> row(
      status.Checked([&](CheckStatusWrapper* s) { return metadata->getMessageLength(s); }));
  OpenResults results(status);
  results.Slot() = status.Checked([&](CheckStatusWrapper* s) {
    return statement->openCursor(s, transaction, nullptr, nullptr, metadata, 0);
  });
  while (status.Checked([&](CheckStatusWrapper* s) {
    return results.Slot()->fetchNext(s, row.data());
  }) == Firebird::IStatus::RESULT_OK) {
  }
  Firebird::IResultSet* closing = results.Take();
  status.Checked([&](CheckStatusWrapper* s) { closing->close(s); });
}

}  // namespace

FbStatement::FbStatement(Ref<FbConnection> connection) noexcept
    : connection_(std::move(connection)) {}

DriverResult FbStatement::SetStatementOption(StatementOption id, OptionValue value) noexcept {
  return error_.Run([&] {
    // The rowset size only matters to fetching, which the layer never does.
    if (id != soRowsetSize) {
      throw DriverFailure(kDriverNotSupported,
                          FormatText(texts::kOptionNotSupported, static_cast<int>(id),
                                     static_cast<long long>(value)));
    }
  });
}

DriverResult FbStatement::ExecuteSqlText(const char* sql, ISQLRowCursor** cursor) noexcept {
  return error_.Run([&] {
    if (sql == nullptr || cursor == nullptr) {
      throw DriverFailure(kDriverInvalidParameter, FormatText(texts::kInvalidParameter, "sql"));
    }
    connection_->RequireAttachment();
    rows_ = 0;
    ISQLRowCursor* opened = nullptr;
    switch (ClassifyStatement(sql)) {
      case StatementKind::kCommit:
        connection_->EndTransaction(true);
        break;
      case StatementKind::kRollback:
        connection_->EndTransaction(false);
        break;
      case StatementKind::kImmediate:
        RunImmediate(sql);
        break;
      case StatementKind::kDml:
        opened = RunPrepared(sql, false);
        break;
      case StatementKind::kPrepared:
        opened = RunPrepared(sql, true);
        break;
    }
    *cursor = opened;
  });
}

void FbStatement::RunImmediate(const char* sql) {
  FbConnection& connection = *connection_.Get();
  Firebird::IAttachment* attachment = connection.RequireAttachment();
  Firebird::ITransaction* transaction = connection.BeginWork();
  Firebird::ITransaction* after = nullptr;
  try {
    after = connection.Status().Checked([&](CheckStatusWrapper* s) {
      return attachment->execute(s, transaction, 0, sql, connection.Dialect(), nullptr, nullptr,
                                 nullptr, nullptr);
    });
  } catch (...) {
    connection.FinishWork(transaction, false);
    throw;
  }
  connection.FinishWork(after, true);
}

ISQLRowCursor* FbStatement::RunPrepared(const char* sql, bool may_return_rows) {
  FbConnection& connection = *connection_.Get();
  ServerStatus& status = connection.Status();
  Firebird::IAttachment* attachment = connection.RequireAttachment();
  Firebird::ITransaction* transaction = connection.BeginWork();
  Firebird::ITransaction* after = nullptr;
  try {
    PreparedStatement statement(status);
    // The statement type costs nothing extra when asked for with the prepare.
    statement.Slot() = status.Checked([&](CheckStatusWrapper* s) {
      return attachment->prepare(s, transaction, 0, sql, connection.Dialect(),
                                 Firebird::IStatement::PREPARE_PREFETCH_TYPE);
    });
    const bool returns_rows =
        ReturnsRows(status.Checked([&](CheckStatusWrapper* s) { return statement->getType(s); }));
    if (may_return_rows && returns_rows) {
      OpenResults results(status);
      results.Slot() = status.Checked([&](CheckStatusWrapper* s) {
        return statement->openCursor(s, transaction, nullptr, nullptr, nullptr, 0);
      });
      auto* cursor = new FbRowCursor(Ref<FbConnection>::Retain(&connection), statement.Take(),
                                     results.Take(),
                                     connection.OwnsWorkTransaction() ? transaction : nullptr);
      return cursor;
    }
    if (returns_rows) {
      FetchToEnd(status, statement.Slot(), transaction);
      after = transaction;
    } else {
      after = status.Checked([&](CheckStatusWrapper* s) {
        return statement->execute(s, transaction, nullptr, nullptr, nullptr, nullptr);
      });
    }
    rows_ = status.Checked([&](CheckStatusWrapper* s) { return statement->getAffectedRecords(s); });
  } catch (...) {
    connection.FinishWork(transaction, false);
    throw;
  }
  connection.FinishWork(after, true);
  return nullptr;
}

DriverResult FbStatement::GetAffectedRowCount(std::uint32_t* rows) noexcept {
  return error_.Run([&] {
    if (rows == nullptr) {
      throw DriverFailure(kDriverInvalidParameter, FormatText(texts::kInvalidParameter, "rows"));
    }
    constexpr std::uint64_t kMost = std::numeric_limits<std::uint32_t>::max();
    *rows = static_cast<std::uint32_t>(rows_ < kMost ? rows_ : kMost);
  });
}

DriverResult FbStatement::CloseStatement() noexcept {
  rows_ = 0;
  return kDriverOk;
}

DriverResult FbStatement::GetErrorText(char* buffer) noexcept { return error_.GetText(buffer); }

DriverResult FbStatement::GetErrorTextLength(std::int16_t* length) noexcept {
  return error_.GetLength(length);
}

}  // namespace tolvane::fbdrv
