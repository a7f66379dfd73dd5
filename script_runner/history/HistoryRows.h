// Reading the history table back, attempt by attempt, for the tool that
// shows it. Attempt 0 of each id is its lock row and never shown.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tolvane {

class TSQLConnection;

// The table's columns in the order the table has them.
inline constexpr const char* kHistoryColumns[] = {
    "ID",          "ATTEMPT",    "CHECKSUM", "STATUS",   "USER_NAME",    "ROLE_NAME",
    "CALLER_USER", "ROUTINE",    "ATTACHMENT_ID", "STARTED_AT", "ENDED_AT", "RUN_MODE",
    "DIALECT",     "OK_COUNT",   "FAILED_COUNT",  "SKIPPED_COUNT", "TOLERATED_COUNT", "RESULT"};
inline constexpr std::size_t kHistoryColumnCount = std::size(kHistoryColumns);

// One attempt: its cells as texts, in kHistoryColumns' order (nullopt: NULL).
using HistoryRow = std::vector<std::optional<std::string>>;

// Every attempt on the open connection, by id and attempt; nothing when
// there is no history table. Raises EDatabaseError.
std::vector<HistoryRow> ReadHistory(TSQLConnection& connection);

}  // namespace tolvane
