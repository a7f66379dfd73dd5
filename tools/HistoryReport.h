// tolvane-exec --history: the target's history of scripts applied once, a
// line per attempt, or one JSON document.
#pragma once

#include <ostream>
#include <vector>

#include "script_runner/history/HistoryRows.h"

namespace tolvane::exec {

// "inserts-v1 attempt 1: applied, 2000 ok, 0 failed, 0 skipped, 0 tolerated;
// SYSDBA; 2026-… to 2026-…; atomic, lines; checksum …", and the result
// text of an attempt that did not apply.
void WriteHistoryText(std::ostream& out, const std::vector<tolvane::HistoryRow>& rows);

// {"history":[{"id":…,"attempt":1,…}]}: every column by its lower-case
// name, numbers as numbers, NULL as null.
void WriteHistoryJson(std::ostream& out, const std::vector<tolvane::HistoryRow>& rows);

}  // namespace tolvane::exec
