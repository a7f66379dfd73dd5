#include "script_runner/engine/RunLog.h"

#include <chrono>
#include <functional>
#include <thread>

#include "runtime/PathText.h"
#include "runtime/Platform.h"
#include "script_runner/engine/OutcomeJson.h"
#include "script_runner/function/ScriptRunner.h"

namespace tolvane {
namespace {

std::atomic<long long> g_failures{0};
std::atomic<unsigned long long> g_counter{0};

// Time, process, thread and a counter: no two runs share a name, and an
// existing file is never replaced (the file is created new or not at all).
std::string LogFileName(Platform& platform, const std::string& utc) {
  std::string name = "udftolvane-";
  for (char c : utc.substr(0, 19))
    if (c != '-' && c != ':') name += c;
  name += '-' + std::to_string(platform.ProcessId());
  name += '-' + std::to_string(std::hash<std::thread::id>{}(std::this_thread::get_id()) % 1000000007ULL);
  name += '-' + std::to_string(g_counter.fetch_add(1));
  name += ".jsonl";
  return name;
}

}  // namespace

RunLog::RunLog(Platform& platform, std::string folder)
    : platform_(platform), folder_(std::move(folder)) {}

RunLog::~RunLog() {
  if (fd_ >= 0) platform_.CloseFile(fd_);
}

long long RunLog::Failures() { return g_failures.load(); }

void RunLog::Fail() noexcept {
  g_failures.fetch_add(1);
  failed_ = true;
  if (fd_ >= 0) platform_.CloseFile(fd_);
  fd_ = -1;
  folder_.clear();  // nothing more for this run
}

void RunLog::WriteLine(const std::string& line) noexcept {
  if (fd_ < 0) return;
  int error = 0;
  const long written = platform_.WriteFile(fd_, line.data(), line.size(), &error);
  if (written == static_cast<long>(line.size())) {
    size_ += written;
    return;
  }
  // A full disk takes part of a line: a reader must still find whole lines
  // only, so the file goes back to the last of them.
  platform_.TruncateFile(fd_, size_);
  Fail();
}

void RunLog::OnRunStart(const RunStart& start) noexcept {
  if (folder_.empty()) return;
  try {
    const std::string utc = UtcTimestamp(std::chrono::system_clock::now());
    const std::string path = JoinPath(folder_, LogFileName(platform_, utc));
    int error = 0;
    fd_ = platform_.CreateNewFile(path, &error);
    if (fd_ < 0) {
      Fail();
      return;
    }
    line_.assign("{\"run\":");
    AppendRunJson(line_, utc, start);
    line_ += "}\n";
    WriteLine(line_);
  } catch (...) {
    Fail();
  }
}

void RunLog::OnOutcome(const StatementOutcome& outcome) noexcept {
  if (fd_ < 0) return;
  try {
    line_.assign("{\"statement\":");
    AppendOutcomeJson(line_, outcome);
    line_ += "}\n";
    WriteLine(line_);
  } catch (...) {
    Fail();
  }
}

void RunLog::OnTransaction(const TransactionOutcome& transaction) noexcept {
  if (fd_ < 0) return;
  try {
    line_.assign("{\"transaction\":");
    AppendTransactionJson(line_, transaction);
    line_ += "}\n";
    WriteLine(line_);
  } catch (...) {
    Fail();
  }
}

void RunLog::OnRunEnd(const RunSummary& summary) noexcept {
  if (fd_ < 0) return;
  try {
    line_.assign("{\"summary\":");
    AppendSummaryJson(line_, summary);
    line_ += "}\n";
    WriteLine(line_);
  } catch (...) {
    Fail();
  }
}

RunObserver* RunLogFromEnvironment(Platform& platform, std::optional<RunLog>* log,
                                   const std::string& configured_folder) {
  std::string folder = platform.GetEnvironment(kRunLogFolderVariable);
  if (folder.empty()) folder = configured_folder;
  if (folder.empty()) return nullptr;
  return &log->emplace(platform, std::move(folder));
}

void LogRefusedRun(RunObserver& log, const RunStart& start, std::string_view result_text) noexcept {
  log.OnRunStart(start);
  RunSummary summary;
  try {
    summary.result_text.assign(result_text);
  } catch (...) {
  }
  summary.run_log_incomplete = log.Incomplete();
  log.OnRunEnd(summary);
}

}  // namespace tolvane
