// Direct execution of one SQL text, on this connection or on a clone of it.
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "connection/SQLConnection.h"
#include "connection/StatementClassification.h"
#include "runtime/Conversions.h"
#include "runtime/Text.h"

namespace tolvane {
namespace {

constexpr std::int32_t kDefaultRowsetSize = 20;

}  // namespace

std::uint32_t TSQLConnection::ExecuteSqlDirect(const std::string& sql) {
  EnsureConnected();
  std::uint32_t result = 0;
  std::int32_t rowset_size = kDefaultRowsetSize;

  if (IsSelectStatement(sql)) ++active_statement_count_;
  TSQLConnection* target = StatementConnection();

  // Declared in this order so that the cursor goes first, then the
  // statement, on every way out.
  DriverRef<ISQLStatement> statement;
  DriverRef<ISQLRowCursor> cursor;
  // A refused command is not reported: the caller sees no rows affected.
  if (target->connection_intf_->CreateCommand(statement.Put()) != 0 || !statement) return 0;

  // This connection's parameters decide, also when the statement runs on a
  // clone.
  const std::string rowset_value = params_.Values("RowsetSize");
  if (!rowset_value.empty()) {
    std::int32_t converted = 0;
    if (TryStrToInt(Trim(rowset_value), converted)) rowset_size = converted;
  }
  statement->SetStatementOption(soRowsetSize, rowset_size);

  DriverResult r = statement->ExecuteSqlText(sql.c_str(), cursor.Put());
  if (r == 0) {
    r = statement->GetAffectedRowCount(&result);
    // A statement that handed back rows is left to its cursor.
    if (!cursor) statement->CloseStatement();
  }
  if (r != 0) RaiseDriverError(r, esStatement, statement.Get());
  return result;
}

void TSQLConnection::EnsureConnected() {
  if (!Connected()) SetConnected(true);
}

TSQLConnection* TSQLConnection::StatementConnection() {
  TSQLConnection* target = this;
  if (max_active_statements_ > 0 && active_statement_count_ >= max_active_statements_ &&
      open_transaction_count_ <= 0 && clone_allowed_)
    target = MakeClone();
  active_statement_count_ = 0;
  return target;
}

}  // namespace tolvane
