#include "tools/FleetReport.h"

#include <algorithm>
#include <cstdio>

#include "runtime/JsonText.h"
#include "tools/RunReports.h"

namespace tolvane::exec {
namespace {

constexpr const char* kStatusNames[kTargetStatuses] = {"ok",          "failed",  "broken off",
                                                      "unreachable", "refused", "interrupted"};
// The names of the counts in JSON: a member name has no blank.
constexpr const char* kStatusMembers[kTargetStatuses] = {"ok",          "failed",  "broken_off",
                                                        "unreachable", "refused", "interrupted"};
constexpr std::size_t kTableFailureWidth = 160;

void AppendMemberOrNull(std::string& out, std::string_view name, std::string_view text) {
  if (!text.empty()) return AppendJsonField(out, name, text);
  out += '"';
  out += name;
  out += "\":null";
}

// The members the journal and the report share.
void AppendResultMembers(std::string& out, const TargetResult& result) {
  AppendJsonField(out, "target", result.target.database);
  out += ',';
  AppendJsonField(out, "status", TargetStatusName(result.status));
  out += ',';
  AppendJsonField(out, "result", result.result);
  out += ',';
  AppendMemberOrNull(out, "first_failure", result.first_failure);
}

// "[12/200] "
std::string Counter(std::size_t done, std::size_t of) {
  std::string text(1, '[');
  text.append(std::to_string(done)).append(1, '/').append(std::to_string(of)).append("] ");
  return text;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

}  // namespace

const char* TargetStatusName(TargetStatus status) { return kStatusNames[static_cast<int>(status)]; }

bool ParseTargetStatus(std::string_view name, TargetStatus* status) {
  for (int i = 0; i < kTargetStatuses; ++i) {
    if (name == kStatusNames[i]) {
      *status = static_cast<TargetStatus>(i);
      return true;
    }
  }
  return false;
}

TargetStatus StatusOfRun(const RunSummary& summary, bool interrupted) {
  if (summary.result_ok) return summary.failed > 0 ? TargetStatus::kFailed : TargetStatus::kOk;
  if (interrupted) return TargetStatus::kInterrupted;
  return summary.connected ? TargetStatus::kBrokenOff : TargetStatus::kUnreachable;
}

void FirstFailure::OnOutcome(const StatementOutcome& outcome) noexcept {
  if (outcome.status != OutcomeStatus::kFailed) return;
  failure_file_ = failure_file_ || outcome.failure_file;
  if (!text_.empty()) return;
  try {
    text_ = FailureLine(outcome);
  } catch (...) {
  }
}

std::string JournalLine(const TargetResult& result, std::string_view script_sha256,
                        std::string_view finished_utc) {
  std::string line = "{";
  AppendResultMembers(line, result);
  line += ',';
  AppendJsonField(line, "script_sha256", script_sha256);
  line += ',';
  AppendJsonField(line, "statements", result.summary.statements);
  line += ',';
  AppendJsonField(line, "ok", result.summary.ok);
  line += ',';
  AppendJsonField(line, "failed", result.summary.failed);
  line += ',';
  AppendJsonField(line, "elapsed_ms", result.summary.elapsed_us / 1000);
  line += ',';
  AppendMemberOrNull(line, "failure_folder", result.failure_folder);
  line += ',';
  AppendJsonField(line, "finished", finished_utc);
  line += "}\n";
  return line;
}

std::string JsonEntry(const TargetResult& result, std::string_view run_document) {
  std::string entry = "{";
  AppendResultMembers(entry, result);
  entry += ',';
  AppendMemberOrNull(entry, "failure_folder", result.failure_folder);
  // The single run's document without its braces and line end.
  while (!run_document.empty() && run_document.back() == '\n') run_document.remove_suffix(1);
  if (run_document.size() > 2 && run_document.front() == '{' && run_document.back() == '}') {
    entry += ',';
    entry += run_document.substr(1, run_document.size() - 2);
  }
  entry += '}';
  return entry;
}

std::size_t FleetTally::Finished() const {
  long long finished = 0;
  for (const long long count : counts_) finished += count;
  return static_cast<std::size_t>(finished) - skipped_;
}

int FleetTally::ExitStatus() const {
  for (const TargetStatus worse : {TargetStatus::kBrokenOff, TargetStatus::kUnreachable,
                                   TargetStatus::kRefused, TargetStatus::kInterrupted})
    if (Count(worse) > 0) return 1;
  if (not_started_ > 0) return 1;
  return Count(TargetStatus::kFailed) > 0 ? 3 : 0;
}

std::string FleetTally::SummaryLine(double seconds) const {
  std::string line = std::to_string(targets_) + (targets_ == 1 ? " database: " : " databases: ");
  for (int i = 0; i < kTargetStatuses; ++i) {
    if (i > 0) line += ", ";
    line += std::to_string(counts_[i]) + " " + kStatusNames[i];
  }
  line += ", " + std::to_string(skipped_) + " skipped";
  if (not_started_ > 0) line += ", " + std::to_string(not_started_) + " not started";
  return line + "; " + Seconds(seconds);
}

void FleetTally::AppendJson(std::string& out, double seconds) const {
  out += '{';
  AppendJsonField(out, "targets", static_cast<long long>(targets_));
  for (int i = 0; i < kTargetStatuses; ++i) {
    out += ',';
    AppendJsonField(out, kStatusMembers[i], counts_[i]);
  }
  out += ',';
  AppendJsonField(out, "skipped", static_cast<long long>(skipped_));
  out += ',';
  AppendJsonField(out, "not_started", static_cast<long long>(not_started_));
  out += ',';
  AppendJsonField(out, "elapsed_ms", static_cast<long long>(seconds * 1000.0));
  out += '}';
}

std::string FleetTally::ProgressLine(double seconds) const {
  const std::size_t finished = Finished();
  const std::size_t to_run = targets_ - skipped_;
  std::string line = Counter(finished, to_run);
  bool first = true;
  for (int i = 0; i < kTargetStatuses; ++i) {
    if (counts_[i] == 0 && i != 0) continue;
    if (!first) line += ", ";
    first = false;
    line += std::to_string(counts_[i]) + " " + kStatusNames[i];
  }
  if (finished > 0 && seconds > 0) {
    const double rate = static_cast<double>(finished) / seconds;
    const long long left = static_cast<long long>(static_cast<double>(to_run - finished) / rate + 0.5);
    char text[64];
    std::snprintf(text, sizeof text, "; %.1f/s; %lld:%02lld left", rate, left / 60, left % 60);
    line += text;
  }
  return line;
}

std::string TargetLine(const TargetResult& result, std::size_t finished, std::size_t targets) {
  std::string line = Counter(finished, targets);
  line.append(result.target.database).append(": ").append(TargetStatusName(result.status));
  if (result.summary.already_applied) {
    line += "; already applied";
  } else if (result.summary.connected) {
    char elapsed[32];
    std::snprintf(elapsed, sizeof elapsed, "%.0f ms", static_cast<double>(result.summary.elapsed_us) / 1000.0);
    line += "; " + std::to_string(result.summary.statements) + " statements, " +
            std::to_string(result.summary.failed) + " failed; " + elapsed;
  }
  if (!result.first_failure.empty()) line += "; " + result.first_failure;
  return line;
}

void WriteTable(std::ostream& out, const std::vector<TableRow>& rows) {
  if (rows.empty()) return;
  std::size_t database_width = 8, status_width = 6;
  for (const TableRow& row : rows) {
    database_width = std::max(database_width, row.database.size());
    status_width = std::max(status_width, row.status.size());
  }
  auto write = [&](std::string_view database, std::string_view status, std::string_view failure) {
    out << database << std::string(database_width - database.size() + 2, ' ') << status
        << std::string(status_width - status.size() + 2, ' ')
        << failure.substr(0, kTableFailureWidth) << '\n';
  };
  write("DATABASE", "STATUS", "FIRST FAILURE");
  for (const TableRow& row : rows) write(row.database, row.status, row.first_failure);
}

}  // namespace tolvane::exec
