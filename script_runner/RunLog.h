// The run log: one JSON Lines file per run in a folder the server's
// administrator names, written as the run goes, so that a server killed
// mid-run leaves a log that shows how far it got.
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "script_runner/StatementOutcome.h"

namespace tolvane {

class Platform;

class RunLog final : public RunObserver {
 public:
  // folder: where the file goes; nothing is created before the run starts.
  RunLog(Platform& platform, std::string folder);
  ~RunLog() override;
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  void OnRunStart(std::string_view database_path) noexcept override;
  void OnOutcome(const StatementOutcome& outcome) noexcept override;
  void OnRunEnd(const RunSummary& summary) noexcept override;

  // Logs that could not be created or written whole, in this process. A log
  // that fails never changes a run; it stops and is counted here.
  static long long Failures();

 private:
  void WriteLine(const std::string& line) noexcept;
  void Fail() noexcept;

  Platform& platform_;
  std::string folder_;
  int fd_ = -1;
  std::string line_;
};

// The run log the process's environment asks for: when
// UDFTOLVANE_RUN_LOG_DIR names a folder (else when configured_folder, the
// configuration's run_log_dir, is not empty), a log there is emplaced into
// *log and returned; otherwise null, and a run costs what it always did.
RunObserver* RunLogFromEnvironment(Platform& platform, std::optional<RunLog>* log,
                                   const std::string& configured_folder = std::string());

}  // namespace tolvane
