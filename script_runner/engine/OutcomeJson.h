// The JSON form of a run, its outcomes and its summary, shared by the run log
// and tolvane-exec's report so that both read the same.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "script_runner/engine/StatementOutcome.h"

namespace tolvane {

// The module's version, as the build names it.
const char* ModuleVersion();

// "2026-12-07T10:15:30.123456Z".
std::string UtcTimestamp(std::chrono::system_clock::time_point when);

// {"started":…,"database":…,"version":…,"routine":…,"user":…,"role":…,
//  "options":…,"identity":{"user":…,"role":…}}; user and role null when the
// routine cannot tell.
void AppendRunJson(std::string& out, std::string_view started_utc, const RunStart& start);
// {"index":…,"line":…,"last_line":…,"status":…,…,"statement":…}; status,
// when given, instead of the outcome's own.
void AppendOutcomeJson(std::string& out, const StatementOutcome& outcome,
                       const char* status = nullptr);
// {"end":"commit"|"rollback","line":…,"last_line":…,"statements":…,"ends_run":…}
void AppendTransactionJson(std::string& out, const TransactionOutcome& transaction);
// {"statements":…,"ok":…,…,"result":…}, and "run_log":"incomplete" when the
// run log lost records.
void AppendSummaryJson(std::string& out, const RunSummary& summary);

}  // namespace tolvane
