#include "script_runner/history/HistoryRows.h"

#include "connection/SQLConnection.h"
#include "script_runner/history/HistoryTable.h"

namespace tolvane {

// A row at a time after the last one read, by the table's key: the one-row
// read the connection has is all it takes, and the key makes each a seek.
std::vector<HistoryRow> ReadHistory(TSQLConnection& connection) {
  std::vector<HistoryRow> rows;
  HistoryRow row;
  if (!connection.SelectFirstRow(HistoryTableExists(), &row)) return rows;
  std::string select = "SELECT ";
  for (std::size_t i = 0; i < kHistoryColumnCount; ++i) {
    const std::string column = kHistoryColumns[i];
    if (i > 0) select += ", ";
    select += column.ends_with("_AT") ? "CAST(" + column + " AS VARCHAR(24))" : column;
  }
  select += " FROM TOLVANE$HISTORY WHERE ";
  std::string after = "ATTEMPT > 0";
  while (connection.SelectFirstRow(select + after + " ORDER BY ID, ATTEMPT ROWS 1", &row)) {
    const std::string id = SqlLiteral(row[0].value_or(""));
    const std::string attempt = row[1].value_or("0");
    after = "ATTEMPT > 0 AND (ID > " + id + " OR (ID = " + id + " AND ATTEMPT > " + attempt + "))";
    rows.push_back(std::move(row));
    row = HistoryRow();
  }
  return rows;
}

}  // namespace tolvane
