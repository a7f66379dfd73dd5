#include "tools/RunReports.h"

#include <chrono>
#include <cstdio>

#include "script_runner/OutcomeJson.h"

namespace tolvane::exec {
namespace {

constexpr std::string_view kServerPrefix = "SQL Server Error: ";

// The server's own words on one line: without the driver's result-code line,
// the "SQL Server Error: " prefix and the SQLSTATE line, which the report
// shows on its own.
std::string OneLineMessage(const std::string& message) {
  std::string_view text = message;
  if (const std::size_t at = text.find(kServerPrefix); at != std::string_view::npos)
    text.remove_prefix(at + kServerPrefix.size());
  std::string line;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view part = text.substr(start, end - start);
    if (!part.empty() && part.front() == '-') part.remove_prefix(1);
    if (!part.empty() && part.rfind("SQLSTATE = ", 0) != 0) {
      if (!line.empty()) line += "; ";
      line += part;
    }
    start = end + 1;
  }
  return line;
}

}  // namespace

std::string FailureLine(const tolvane::StatementOutcome& outcome) {
  std::string line = outcome.first_line == outcome.last_line
                         ? "line " + std::to_string(outcome.first_line)
                         : "lines " + std::to_string(outcome.first_line) + "-" +
                               std::to_string(outcome.last_line);
  if (outcome.failure_file) line += " (TESTE" + std::to_string(outcome.index) + ".TXT)";
  line += ": ";
  if (!outcome.sqlstate.empty()) line += "SQLSTATE " + outcome.sqlstate + ": ";
  line += OneLineMessage(outcome.message);
  return line;
}

std::string SummaryLine(const tolvane::RunSummary& summary) {
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%.1f ms", static_cast<double>(summary.elapsed_us) / 1000.0);
  return std::to_string(summary.statements) + " statements: " + std::to_string(summary.ok) +
         " ok, " + std::to_string(summary.failed) + " failed, " + std::to_string(summary.skipped) +
         " skipped, " + std::to_string(summary.not_run) + " not run, " +
         std::to_string(summary.rolled_back) + " rolled back; " + elapsed +
         (summary.charset.empty() ? std::string() : "; character set " + summary.charset);
}

void TextReport::OnOutcome(const tolvane::StatementOutcome& outcome) noexcept {
  if (outcome.status != tolvane::OutcomeStatus::kFailed) return;
  try {
    out_ << FailureLine(outcome) << '\n';
  } catch (...) {
  }
}

void TextReport::OnRunEnd(const tolvane::RunSummary& summary) noexcept {
  try {
    out_ << SummaryLine(summary) << '\n' << std::flush;
  } catch (...) {
  }
}

void JsonReport::OnRunStart(std::string_view database_path) noexcept {
  try {
    text_.assign("{\"run\":");
    tolvane::AppendRunJson(text_, tolvane::UtcTimestamp(std::chrono::system_clock::now()),
                           database_path);
    text_ += ",\"outcomes\":[";
    out_ << text_;
  } catch (...) {
  }
}

void JsonReport::OnOutcome(const tolvane::StatementOutcome& outcome) noexcept {
  try {
    text_.assign(first_ ? "\n" : ",\n");
    first_ = false;
    tolvane::AppendOutcomeJson(text_, outcome);
    out_ << text_;
  } catch (...) {
  }
}

void JsonReport::OnRunEnd(const tolvane::RunSummary& summary) noexcept {
  try {
    text_.assign("],\n\"summary\":");
    tolvane::AppendSummaryJson(text_, summary);
    text_ += "}\n";
    out_ << text_ << std::flush;
  } catch (...) {
  }
}

}  // namespace tolvane::exec
