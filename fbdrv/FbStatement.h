// One statement object: runs SQL texts on its connection. It keeps nothing
// between calls but the row count of the last one.
#pragma once

#include <cstdint>

#include "driver/DriverRef.h"
#include "driver/SqlDriver.h"
#include "fbdrv/ErrorSlot.h"
#include "fbdrv/FbConnection.h"
#include "fbdrv/RefCounted.h"

namespace tolvane::fbdrv {

class FbStatement final : public RefCounted<ISQLStatement> {
 public:
  explicit FbStatement(DriverRef<FbConnection> connection) noexcept;

  DriverResult SetStatementOption(StatementOption id, OptionValue value) noexcept override;
  // Statements that may return rows are prepared; when the server says they
  // do, their rows are fetched to the end and the cursor is handed back.
  // CREATE DATABASE is refused. Everything else runs at once.
  DriverResult ExecuteSqlText(const char* sql, ISQLRowCursor** cursor) noexcept override;
  // Rows inserted, updated or deleted by the last text; 0 for data
  // definition and for statements that return rows.
  DriverResult GetAffectedRowCount(std::uint32_t* rows) noexcept override;
  DriverResult CloseStatement() noexcept override;
  DriverResult GetErrorText(char* buffer) noexcept override;
  DriverResult GetErrorTextLength(std::int16_t* length) noexcept override;
  // Every column is read as text, as the server converts it (FirstRow.cpp).
  DriverResult ExecuteSqlFirstRow(const char* sql, char* buffer, std::int32_t buffer_length,
                                  std::int32_t* length) noexcept override;

 private:
  ~FbStatement() override = default;

  void RunImmediate(const char* sql);
  // The script options (ScriptStatements.cpp).
  void PrepareOnly(const char* sql);
  void RunDdlAlone(const char* sql);
  void StartTransaction(const char* sql);
  // Returns the cursor when the statement returns rows, else null.
  ISQLRowCursor* RunPrepared(const char* sql, bool may_return_rows);

  DriverRef<FbConnection> connection_;
  ErrorSlot error_;
  std::uint64_t rows_ = 0;
};

}  // namespace tolvane::fbdrv
