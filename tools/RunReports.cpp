#include "tools/RunReports.h"

#include <chrono>
#include <cstdio>

#include "script_runner/engine/OutcomeJson.h"

namespace tolvane::exec {
namespace {

constexpr std::string_view kServerPrefix = "SQL Server Error: ";

}  // namespace

std::string OneLineMessage(std::string_view message) {
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
  if (summary.already_applied) return summary.result_text + "; nothing was run";
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%.1f ms", static_cast<double>(summary.elapsed_us) / 1000.0);
  return std::to_string(summary.statements) + " statements: " + std::to_string(summary.ok) +
         " ok, " + std::to_string(summary.failed) + " failed, " + std::to_string(summary.skipped) +
         " skipped, " + std::to_string(summary.not_run) + " not run, " +
         std::to_string(summary.rolled_back) + " rolled back" +
         (summary.tolerated > 0 ? ", " + std::to_string(summary.tolerated) + " tolerated" : "") +
         "; " + elapsed +
         (summary.charset.empty() ? std::string() : "; character set " + summary.charset);
}

void TextReport::OnOutcome(const tolvane::StatementOutcome& outcome) noexcept {
  if (outcome.status != tolvane::OutcomeStatus::kFailed) return;
  try {
    out_ << FailureLine(outcome) << '\n';
  } catch (...) {
  }
}

std::string RollbackLine(const tolvane::TransactionOutcome& transaction) {
  std::string line = transaction.first_line == transaction.last_line
                         ? "line " + std::to_string(transaction.first_line)
                         : "lines " + std::to_string(transaction.first_line) + "-" +
                               std::to_string(transaction.last_line);
  return line + ": rolled back (" + std::to_string(transaction.statements) +
         (transaction.statements == 1 ? " statement)" : " statements)");
}

void TextReport::OnTransaction(const tolvane::TransactionOutcome& transaction) noexcept {
  if (transaction.committed || transaction.first_line == 0) return;
  try {
    out_ << RollbackLine(transaction) << '\n';
  } catch (...) {
  }
}

void TextReport::OnRunEnd(const tolvane::RunSummary& summary) noexcept {
  try {
    out_ << SummaryLine(summary) << (summary.run_log_incomplete ? "; run log incomplete\n" : "\n")
         << std::flush;
  } catch (...) {
  }
}

void JsonReport::OnRunStart(const tolvane::RunStart& start) noexcept {
  try {
    text_.assign("{\"run\":");
    tolvane::AppendRunJson(text_, tolvane::UtcTimestamp(std::chrono::system_clock::now()), start);
    text_ += ",\"outcomes\":[";
    out_ << text_;
  } catch (...) {
  }
}

void JsonReport::Write(const tolvane::StatementOutcome& outcome, const char* status) {
  text_.assign(first_ ? "\n" : ",\n");
  first_ = false;
  tolvane::AppendOutcomeJson(text_, outcome, status);
  out_ << text_;
}

// The outcomes waiting for a transaction's end, in order, done ones as it
// settled them.
void JsonReport::Settle(const char* done_status) {
  for (Waiting& waiting : waiting_) {
    waiting.outcome.statement = waiting.text;
    Write(waiting.outcome,
          waiting.outcome.status == tolvane::OutcomeStatus::kDone ? done_status : nullptr);
  }
  waiting_.clear();
}

void JsonReport::OnOutcome(const tolvane::StatementOutcome& outcome) noexcept {
  try {
    if (waiting_.empty() && outcome.status != tolvane::OutcomeStatus::kDone) {
      Write(outcome, nullptr);
      return;
    }
    waiting_.push_back({outcome, std::string(outcome.statement)});
  } catch (...) {
  }
}

void JsonReport::OnTransaction(const tolvane::TransactionOutcome& transaction) noexcept {
  try {
    Settle(tolvane::OutcomeStatusName(transaction.committed ? tolvane::OutcomeStatus::kOk
                                                            : tolvane::OutcomeStatus::kRolledBack));
  } catch (...) {
  }
}

void JsonReport::OnRunEnd(const tolvane::RunSummary& summary) noexcept {
  try {
    Settle(nullptr);  // a run always settles what it ran; none should be left
    text_.assign("],\n\"summary\":");
    tolvane::AppendSummaryJson(text_, summary);
    text_ += "}\n";
    out_ << text_ << std::flush;
  } catch (...) {
  }
}

}  // namespace tolvane::exec
