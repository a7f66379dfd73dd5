// The JSON form of a run, its outcomes and its summary, shared by the run log
// and tolvane-exec's report so that both read the same.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "script_runner/StatementOutcome.h"

namespace tolvane {

// The module's version, as the build names it.
const char* ModuleVersion();

// "2026-12-07T10:15:30.123456Z".
std::string UtcTimestamp(std::chrono::system_clock::time_point when);

// {"started":…,"database":…,"version":…}
void AppendRunJson(std::string& out, std::string_view started_utc, std::string_view database);
// {"index":…,"line":…,"last_line":…,"statement":…,"status":…,…}
void AppendOutcomeJson(std::string& out, const StatementOutcome& outcome);
// {"statements":…,"ok":…,…,"result":…}
void AppendSummaryJson(std::string& out, const RunSummary& summary);

}  // namespace tolvane
