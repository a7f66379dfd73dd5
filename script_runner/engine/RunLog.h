// The run log: one JSON Lines file per run in a folder the server's
// administrator names, written as the run goes, so that a server killed
// mid-run leaves a log that shows how far it got.
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "script_runner/engine/StatementOutcome.h"

namespace tolvane {

class Platform;

class RunLog final : public RunObserver {
 public:
  // folder: where the file goes; nothing is created before the run starts.
  RunLog(Platform& platform, std::string folder);
  ~RunLog() override;
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  void OnRunStart(const RunStart& start) noexcept override;
  void OnOutcome(const StatementOutcome& outcome) noexcept override;
  void OnTransaction(const TransactionOutcome& transaction) noexcept override;
  void OnRunEnd(const RunSummary& summary) noexcept override;
  // The file could not be created, or a record could not be written whole:
  // the file was cut back to its last whole line and holds nothing more of
  // this run.
  bool Incomplete() const noexcept override { return failed_; }

  // Logs that could not be created or written whole, in this process. A log
  // that fails never changes a run; it stops and is counted here.
  static long long Failures();

 private:
  void WriteLine(const std::string& line) noexcept;
  void Fail() noexcept;

  Platform& platform_;
  std::string folder_;
  int fd_ = -1;
  long long size_ = 0;  // bytes of whole lines in the file
  bool failed_ = false;
  std::string line_;
};

// The run log the process's environment asks for: when
// UDFTOLVANE_RUN_LOG_DIR names a folder (else when configured_folder, the
// configuration's run_log_dir, is not empty), a log there is emplaced into
// *log and returned; otherwise null, and a run costs what it always did.
RunObserver* RunLogFromEnvironment(Platform& platform, std::optional<RunLog>* log,
                                   const std::string& configured_folder = std::string());

// A run refused before it could start (its target, options or the
// configuration): its first record and a summary whose result is
// result_text, so that every call leaves its log.
void LogRefusedRun(RunObserver& log, const RunStart& start, std::string_view result_text) noexcept;

}  // namespace tolvane
