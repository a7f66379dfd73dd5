#include "script_runner/engine/OutcomeJson.h"

#include <cstdio>

#include "runtime/JsonText.h"

#ifndef TOLVANE_VERSION
#define TOLVANE_VERSION "unknown"
#endif

namespace tolvane {
namespace {

// Gregorian date of a day count since 1970-01-01.
void CivilFromDays(long long days, int* year, unsigned* month, unsigned* day) {
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *day = doy - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(yoe + era * 400 + (*month <= 2));
}

}  // namespace

const char* ModuleVersion() { return TOLVANE_VERSION; }

std::string UtcTimestamp(std::chrono::system_clock::time_point when) {
  const long long us =
      std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();
  long long seconds = us / 1000000;
  long long micros = us % 1000000;
  if (micros < 0) {
    micros += 1000000;
    --seconds;
  }
  long long days = seconds / 86400;
  long long rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  int year = 0;
  unsigned month = 0, day = 0;
  CivilFromDays(days, &year, &month, &day);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02lld:%02lld:%02lld.%06lldZ", year, month, day,
                rest / 3600, rest / 60 % 60, rest % 60, micros);
  return text;
}

void AppendRunJson(std::string& out, std::string_view started_utc, const RunStart& start) {
  out += '{';
  AppendJsonField(out, "started", started_utc);
  out += ',';
  AppendJsonField(out, "database", start.database);
  out += ',';
  AppendJsonField(out, "version", ModuleVersion());
  out += ',';
  AppendJsonField(out, "routine", start.routine);
  out += ",\"user\":";
  if (start.user.empty()) out += "null";
  else AppendJsonString(out, start.user);
  out += ",\"role\":";
  if (start.role.empty()) out += "null";
  else AppendJsonString(out, start.role);
  out += ',';
  AppendJsonField(out, "options", start.options);
  out += ",\"identity\":{";
  AppendJsonField(out, "user", start.identity_user);
  out += ',';
  AppendJsonField(out, "role", start.identity_role);
  out += "}}";
}

void AppendTransactionJson(std::string& out, const TransactionOutcome& transaction) {
  out += '{';
  AppendJsonField(out, "end", transaction.committed ? "commit" : "rollback");
  out += ',';
  AppendJsonField(out, "line", transaction.first_line);
  out += ',';
  AppendJsonField(out, "last_line", transaction.last_line);
  out += ',';
  AppendJsonField(out, "statements", transaction.statements);
  out += transaction.ends_run ? ",\"ends_run\":true}" : ",\"ends_run\":false}";
}

void AppendOutcomeJson(std::string& out, const StatementOutcome& outcome, const char* status) {
  out += '{';
  AppendJsonField(out, "index", outcome.index);
  out += ',';
  AppendJsonField(out, "line", outcome.first_line);
  out += ',';
  AppendJsonField(out, "last_line", outcome.last_line);
  out += ',';
  AppendJsonField(out, "status", status != nullptr ? status : OutcomeStatusName(outcome.status));
  out += ',';
  AppendJsonField(out, "rows_affected", static_cast<long long>(outcome.rows_affected));
  out += ',';
  AppendJsonField(out, "elapsed_us", static_cast<long long>(outcome.elapsed_us));
  if (!outcome.message.empty()) {
    out += ',';
    AppendJsonField(out, "message", outcome.message);
  }
  if (!outcome.sqlstate.empty()) {
    out += ',';
    AppendJsonField(out, "sqlstate", outcome.sqlstate);
  }
  if (outcome.error_code != 0) {
    out += ',';
    AppendJsonField(out, "error_code", static_cast<long long>(outcome.error_code));
  }
  if (outcome.failure_file) {
    out += ',';
    AppendJsonField(out, "failure_file", "TESTE" + std::to_string(outcome.index) + ".TXT");
  }
  out += ',';
  AppendJsonField(out, "statement", outcome.statement);
  out += '}';
}

void AppendSummaryJson(std::string& out, const RunSummary& summary) {
  out += '{';
  AppendJsonField(out, "statements", summary.statements);
  out += ',';
  AppendJsonField(out, "ok", summary.ok);
  out += ',';
  AppendJsonField(out, "failed", summary.failed);
  out += ',';
  AppendJsonField(out, "skipped", summary.skipped);
  out += ',';
  AppendJsonField(out, "not_run", summary.not_run);
  out += ',';
  AppendJsonField(out, "rolled_back", summary.rolled_back);
  out += ',';
  AppendJsonField(out, "elapsed_us", static_cast<long long>(summary.elapsed_us));
  out += ',';
  AppendJsonField(out, "result", summary.result_text);
  if (summary.tolerated > 0) {
    out += ',';
    AppendJsonField(out, "tolerated", summary.tolerated);
  }
  if (summary.already_applied) {
    out += ",\"already_applied\":true";
  }
  if (!summary.charset.empty()) {
    out += ',';
    AppendJsonField(out, "charset", summary.charset);
  }
  if (summary.run_log_incomplete) {
    out += ',';
    AppendJsonField(out, "run_log", "incomplete");
  }
  out += '}';
}

}  // namespace tolvane
