// The history table's name, definition and statements. Every value put into
// them is quoted here; the id's own characters never need it (RunOptions).
#pragma once

#include <string>
#include <string_view>

namespace tolvane {

inline constexpr const char* kHistoryTable = "TOLVANE$HISTORY";
inline constexpr const char* kHistoryApplied = "applied";
inline constexpr const char* kHistoryFailed = "failed";
inline constexpr const char* kHistoryBrokenOff = "broken off";
// The longest result text the table keeps.
inline constexpr std::size_t kHistoryResultBytes = 4000;

// CREATE TABLE TOLVANE$HISTORY (...), as the installer and the first run
// create it.
const char* HistoryTableDdl();
// A query with one row when the table exists.
const char* HistoryTableExists();

// text as a SQL string literal, quotes doubled.
std::string SqlLiteral(std::string_view text);

}  // namespace tolvane
