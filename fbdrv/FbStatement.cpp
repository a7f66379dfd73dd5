#include "fbdrv/FbStatement.h"

#include <limits>
#include <utility>
#include <vector>

#include "fbdrv/DriverFailure.h"
#include "fbdrv/DriverTexts.h"
#include "fbdrv/FbHandle.h"
#include "fbdrv/FbRowCursor.h"
#include "fbdrv/StatementKind.h"

namespace tolvane::fbdrv {
namespace {

using Firebird::CheckStatusWrapper;

// Fetches and discards every row, as isql does: what the rows do (a
// sequence advanced, the writes of a selectable procedure, a failure in a
// later row) happens only when they are fetched.
// limit: at most that many rows (SET ROWCOUNT); 0 = all.
void FetchToEnd(ServerStatus& status, Firebird::IResultSet* results, int limit = 0) {
  const MetadataHandle metadata(
      status, status.Checked([&](CheckStatusWrapper* s) { return results->getMetadata(s); }));
  const unsigned length =
      status.Checked([&](CheckStatusWrapper* s) { return metadata->getMessageLength(s); });
  std::vector<unsigned char> row(length > 0 ? length : 1);
  for (int fetched = 0; limit == 0 || fetched < limit; ++fetched) {
    if (status.Checked([&](CheckStatusWrapper* s) { return results->fetchNext(s, row.data()); }) !=
        Firebird::IStatus::RESULT_OK)
      break;
  }
}

bool ReturnsRows(unsigned statement_type) noexcept {
  return statement_type == isc_info_sql_stmt_select ||
         statement_type == isc_info_sql_stmt_select_for_upd;
}

}  // namespace

FbStatement::FbStatement(DriverRef<FbConnection> connection) noexcept
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
    const ConnectionOptions& options = connection_->Options();
    const StatementKind kind = ClassifyStatement(sql);
    if (options.prepare_only && kind != StatementKind::kCreateDatabase) {
      PrepareOnly(sql);
      *cursor = nullptr;
      return;
    }
    switch (kind) {
      case StatementKind::kCommit:
        connection_->Transactions().End(true);
        break;
      case StatementKind::kRollback:
        connection_->Transactions().End(false);
        break;
      case StatementKind::kCreateDatabase:
        throw DriverFailure(kDriverSqlError, texts::kCreateDatabaseRefused);
      case StatementKind::kImmediate:
        if (options.ddl_own_transaction && !options.auto_commit) {
          RunDdlAlone(sql);
        } else {
          RunImmediate(sql);
        }
        break;
      case StatementKind::kStartTransaction:
        if (options.transaction_statements && !options.auto_commit) {
          StartTransaction(sql);
        } else {
          opened = RunPrepared(sql, true);
        }
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
  FbTransactions& transactions = connection.Transactions();
  Firebird::IAttachment* attachment = connection.RequireAttachment();
  Firebird::ITransaction* transaction = transactions.Begin(attachment);
  Firebird::ITransaction* after = nullptr;
  try {
    after = connection.Status().Checked([&](CheckStatusWrapper* s) {
      return attachment->execute(s, transaction, 0, sql, connection.Dialect(), nullptr, nullptr,
                                 nullptr, nullptr);
    });
  } catch (...) {
    transactions.Finish(transaction, false);
    throw;
  }
  transactions.Finish(after, true);
}

ISQLRowCursor* FbStatement::RunPrepared(const char* sql, bool may_return_rows) {
  FbConnection& connection = *connection_.Get();
  FbTransactions& transactions = connection.Transactions();
  ServerStatus& status = connection.Status();
  Firebird::IAttachment* attachment = connection.RequireAttachment();
  Firebird::ITransaction* transaction = transactions.Begin(attachment);
  Firebird::ITransaction* after = nullptr;
  try {
    // The statement type costs nothing extra when asked for with the prepare.
    // DML needs it too: with RETURNING it may be a cursor (below).
    // Under coDdlOwnTransaction the DDL transaction sees every DDL committed
    // since the kept transaction began.
    const ConnectionOptions& options = connection.Options();
    Firebird::ITransaction* prepare_in = options.ddl_own_transaction && !options.auto_commit
                                             ? transactions.Ddl(attachment)
                                             : transaction;
    StatementHandle statement(status, status.Checked([&](CheckStatusWrapper* s) {
      return attachment->prepare(s, prepare_in, 0, sql, connection.Dialect(),
                                 Firebird::IStatement::PREPARE_PREFETCH_TYPE);
    }));
    const bool returns_rows =
        ReturnsRows(status.Checked([&](CheckStatusWrapper* s) { return statement->getType(s); }));
    if (may_return_rows && returns_rows) {
      ResultSetHandle results(status, status.Checked([&](CheckStatusWrapper* s) {
        return statement->openCursor(s, transaction, nullptr, nullptr, nullptr, 0);
      }));
      FetchToEnd(status, results.Get(), connection.Options().fetch_limit);
      return new FbRowCursor(DriverRef<FbConnection>::Retain(&connection), std::move(statement),
                             std::move(results), transactions.OwnsWork() ? transaction : nullptr);
    }
    if (returns_rows) {
      // Firebird 5 runs UPDATE, DELETE, MERGE and UPDATE OR INSERT with
      // RETURNING as a cursor, which its engine refuses to execute: the rows
      // change as the cursor is fetched, so it is fetched to its end and
      // closed here.
      ResultSetHandle results(status, status.Checked([&](CheckStatusWrapper* s) {
        return statement->openCursor(s, transaction, nullptr, nullptr, nullptr, 0);
      }));
      FetchToEnd(status, results.Get());
      results.End([](Firebird::IResultSet* open, CheckStatusWrapper* s) { open->close(s); });
      after = transaction;
    } else {
      after = status.Checked([&](CheckStatusWrapper* s) {
        return statement->execute(s, transaction, nullptr, nullptr, nullptr, nullptr);
      });
    }
    rows_ = status.Checked([&](CheckStatusWrapper* s) { return statement->getAffectedRecords(s); });
  } catch (...) {
    transactions.Finish(transaction, false);
    throw;
  }
  transactions.Finish(after, true);
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
