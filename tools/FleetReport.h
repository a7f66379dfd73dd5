// What a run over many databases shows: how each database ended, the
// journal's line and the JSON report's entry for it, the counts, the
// progress line and the table of the databases that did not end ok.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "script_runner/engine/StatementOutcome.h"
#include "tools/FleetTargets.h"

namespace tolvane::exec {

enum class TargetStatus {
  kOk,           // the result is "ok" and no statement failed
  kFailed,       // the result is "ok", but statements failed
  kBrokenOff,    // connected, then the run broke off
  kUnreachable,  // the connection could not be opened
  kRefused,      // the configuration refused the run before it began
  kInterrupted,  // stopped after its current statement (Ctrl-C, SIGTERM)
};
inline constexpr int kTargetStatuses = 6;

const char* TargetStatusName(TargetStatus status);
// False for a name that is none of them.
bool ParseTargetStatus(std::string_view name, TargetStatus* status);
// The script ran to its end there: running it again would run its
// statements again.
inline bool Done(TargetStatus status) {
  return status == TargetStatus::kOk || status == TargetStatus::kFailed;
}
TargetStatus StatusOfRun(const RunSummary& summary, bool interrupted);

struct TargetResult {
  FleetTarget target;
  TargetStatus status = TargetStatus::kOk;
  std::string result;         // the run's result text (a refusal's message)
  std::string first_failure;  // one line; empty when it ended ok
  std::string failure_folder; // where its failure files went; empty: none
  RunSummary summary;         // empty for a refused run
};

// The first failed statement of a run, as the text report gives it, and
// whether a failure file was written.
class FirstFailure final : public RunObserver {
 public:
  void OnRunStart(const RunStart&) noexcept override {}
  void OnOutcome(const StatementOutcome& outcome) noexcept override;
  void OnRunEnd(const RunSummary&) noexcept override {}
  const std::string& Text() const { return text_; }
  bool FailureFileWritten() const { return failure_file_; }

 private:
  std::string text_;
  bool failure_file_ = false;
};

// {"target":…,"status":…,"result":…,"first_failure":…|null,"script_sha256":…,
// "statements":…,"ok":…,"failed":…,"elapsed_ms":…,"finished":…} and a line feed.
std::string JournalLine(const TargetResult& result, std::string_view script_sha256,
                        std::string_view finished_utc);

// The report's entry of one database: the same members as the journal's
// (bar the checksum and time), "failure_folder", then those of run_document
// (a single run's JSON report: "run", "outcomes", "summary"), if any.
std::string JsonEntry(const TargetResult& result, std::string_view run_document);

class FleetTally {
 public:
  explicit FleetTally(std::size_t targets) : targets_(targets) {}
  void Add(TargetStatus status) { ++counts_[static_cast<int>(status)]; }
  // A database a journal showed done, not run again.
  void AddSkipped(TargetStatus status) {
    Add(status);
    ++skipped_;
  }
  void SetNotStarted(std::size_t not_started) { not_started_ = not_started; }

  long long Count(TargetStatus status) const { return counts_[static_cast<int>(status)]; }
  std::size_t Finished() const;  // run here, not skipped
  std::size_t Targets() const { return targets_; }
  std::size_t Skipped() const { return skipped_; }
  // 0 every database ended ok; 3 statements failed on some, none worse; 1
  // some broke off, could not be reached, were refused, interrupted or
  // never started.
  int ExitStatus() const;
  // "200 databases: 190 ok, 0 failed, …, 0 skipped; 12.3 s"
  std::string SummaryLine(double seconds) const;
  void AppendJson(std::string& out, double seconds) const;
  // "[12/200] 11 ok, 1 unreachable; 3.2/s; 0:58 left"
  std::string ProgressLine(double seconds) const;

 private:
  std::size_t targets_;
  long long counts_[kTargetStatuses] = {};
  std::size_t skipped_ = 0;
  std::size_t not_started_ = 0;
};

// "[12/200] TARGET: STATUS; N statements, F failed; 12 ms" and, unless it
// ended ok, its first failure.
std::string TargetLine(const TargetResult& result, std::size_t finished, std::size_t targets);

struct TableRow {
  std::string database;
  std::string status;
  std::string first_failure;
};
// The databases that did not end ok, in columns, with a heading.
void WriteTable(std::ostream& out, const std::vector<TableRow>& rows);

}  // namespace tolvane::exec
