#include "tools/FleetCommand.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "runtime/ExceptionText.h"
#include "runtime/PathText.h"
#include "runtime/Platform.h"
#include "runtime/Sha256.h"
#include "script_runner/engine/FailureFile.h"
#include "script_runner/engine/OutcomeJson.h"
#include "script_runner/settings/FirebirdConfig.h"
#include "script_runner/settings/RunOptions.h"
#include "tools/ExecRequest.h"
#include "tools/FleetJournal.h"
#include "tools/FleetReport.h"
#include "tools/FleetScheduler.h"
#include "tools/RunReports.h"
#include "tools/ScriptBlob.h"

namespace tolvane::exec {
namespace {

constexpr int kExitCannotRun = 2;
constexpr std::string_view kInterruptedText = "interrupted: tolvane-exec was stopped before the script's end";

// Set by Ctrl-C or SIGTERM: no database starts after it, and those running
// stop after their current statement.
std::atomic<bool> g_stop{false};

std::string ReadInput(Platform& platform, const std::string& file, const char* what) {
  if (file == "-") return {std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
  std::string content;
  if (const int error = platform.ReadWholeFile(file, &content); error != 0)
    throw std::runtime_error(std::string("cannot read the ") + what + " " + file + ": " +
                             platform.ErrorText(error));
  return content;
}

// Runs the script on one database exactly as a single run does; the run's
// JSON report goes to *document when asked for.
TargetResult RunTarget(Platform& platform, const ExecContext& context, const ExecOptions& options,
                       const std::string& script, const FleetTarget& target,
                       std::string* document) {
  TargetResult result;
  result.target = target;
  ScriptBlob blob(script, options.segment_size);
  FirstFailure first;
  std::ostringstream json_text;
  JsonReport json(json_text);
  std::vector<RunObserver*> observers{&first};
  if (document != nullptr) observers.push_back(&json);
  RunRequest request = MakeRunRequest(context, options, target.database, blob.Callback());
  request.failure_subfolder = TargetFolderName(target);
  PreparedRun prepared(platform, ServerFirebirdConfig(), request, observers);
  if (prepared.Refused()) {
    result.status = TargetStatus::kRefused;
    result.result = prepared.RefusalText();
    result.first_failure = OneLineMessage(prepared.RefusalMessage());
    return result;
  }
  ScriptRun& run = *prepared.Run();
  bool interrupted = false;
  for (StatementOutcome outcome; run.Step(&outcome);) {
    if (g_stop.load() && !interrupted) {
      interrupted = true;
      run.Interrupt(kInterruptedText);
    }
  }
  result.summary = run.Summary();
  result.status = StatusOfRun(result.summary, interrupted);
  result.result = result.summary.result_text;
  if (result.status == TargetStatus::kFailed) result.first_failure = first.Text();
  else if (result.status != TargetStatus::kOk) result.first_failure = OneLineMessage(result.result);
  if (first.FailureFileWritten())
    result.failure_folder = JoinPath(FailureFolder(platform, prepared.Settings().failure_folder),
                                     request.failure_subfolder);
  if (document != nullptr) *document = json_text.str();
  return result;
}

// What the run shows as databases finish, one at a time.
class FleetOutput {
 public:
  FleetOutput(Platform& platform, const ExecOptions& options, std::size_t targets,
              std::string journal)
      : options_(options),
        journal_(std::move(journal)),
        tally_(targets),
        progress_(options.report != Report::kNone && platform.IsTerminal(2)),
        started_(std::chrono::steady_clock::now()) {}

  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  }

  void Begin() {
    if (options_.report == Report::kJson) std::cout << "{\"targets\":[" << std::flush;
  }

  void Skipped(const std::string& database, const JournalRecord& record, TargetStatus status) {
    tally_.AddSkipped(status);
    if (status != TargetStatus::kOk)
      rows_.push_back({database, std::string(TargetStatusName(status)) + " (before)", record.first_failure});
  }

  void Finished(const TargetResult& result, const std::string& document) {
    tally_.Add(result.status);
    if (result.status != TargetStatus::kOk)
      rows_.push_back({result.target.database, TargetStatusName(result.status), result.first_failure});
    if (options_.report == Report::kJson) {
      std::cout << (first_entry_ ? "\n" : ",\n") << JsonEntry(result, document) << std::flush;
      first_entry_ = false;
    }
    const bool worth_a_line = options_.report == Report::kText &&
                              (!progress_ || result.status != TargetStatus::kOk);
    if (worth_a_line)
      std::cerr << (progress_ ? "\r\x1b[K" : "")
                << TargetLine(result, tally_.Finished(), tally_.Targets() - tally_.Skipped()) << '\n';
    if (progress_) std::cerr << "\r\x1b[K" << tally_.ProgressLine(Seconds());
    std::cerr << std::flush;
  }

  int End(std::size_t not_started, const std::string& journal_failure) {
    tally_.SetNotStarted(not_started);
    const double seconds = Seconds();
    if (progress_) std::cerr << "\r\x1b[K" << tally_.ProgressLine(seconds) << '\n';
    if (options_.report == Report::kJson) {
      std::string fleet = "],\n\"fleet\":";
      tally_.AppendJson(fleet, seconds);
      std::cout << fleet << "}\n";
      if (progress_) std::cerr << tally_.SummaryLine(seconds) << '\n';
    } else {
      WriteTable(std::cout, rows_);
      std::cout << tally_.SummaryLine(seconds) << '\n';
    }
    std::cout << std::flush;
    if (g_stop.load() && not_started > 0)
      std::cerr << "tolvane-exec: stopped; " << not_started << " database"
                << (not_started == 1 ? " was" : "s were") << " not started"
                << (journal_.empty() ? "" : " (--resume " + journal_ + " runs them)") << '\n';
    if (!journal_failure.empty())
      std::cerr << "tolvane-exec: " << journal_failure << "; no database was started after it\n";
    return journal_failure.empty() ? tally_.ExitStatus() : 1;
  }

 private:
  const ExecOptions& options_;
  const std::string journal_;
  FleetTally tally_;
  const bool progress_;
  const std::chrono::steady_clock::time_point started_;
  bool first_entry_ = true;
  std::vector<TableRow> rows_;  // the databases that did not end ok
};

}  // namespace

int RunFleet(Platform& platform, const ExecOptions& options) {
  // Before any thread (ours, or the client library's) starts: a second
  // request ends the program at once, with every journal line whole.
  g_stop.store(false);
  const std::unique_ptr<StopWatch> stop_watch = platform.WatchStopRequests([](int count) {
    g_stop.store(true);
    if (count > 1) std::_Exit(130);
  });
  const std::string script = ReadInput(platform, options.script_file, "script");
  const std::string list =
      options.targets_file.empty() ? std::string() : ReadInput(platform, options.targets_file, "targets");
  const std::vector<FleetTarget> targets = ReadFleetTargets(
      options.databases, list, options.targets_file == "-" ? "standard input" : options.targets_file);
  if (targets.empty()) throw std::runtime_error("no database to run: " + options.targets_file + " names none");
  RefuseSecondNames(platform, ServerFirebirdConfig(), targets);

  // Run again without an id, a database runs the script again: from a
  // terminal that is asked for in so many words.
  const bool once = !ParseRunOptions(options.run_options).once_id.empty();
  if (!once && targets.size() > 1 && !options.yes && platform.IsTerminal(0)) {
    std::cerr << "tolvane-exec: " << targets.size()
              << " databases and no --once: a database given again would run the script again.\n"
                 "Give --once ID (recommended over many databases) or --yes.\n";
    return kExitCannotRun;
  }

  const std::string sha = Sha256Hex(script);
  std::map<std::string, JournalRecord> done;
  if (!options.resume.empty()) {
    done = ReadJournal(platform, options.resume);
    // Every line the tool writes names its script: a line without one is
    // no proof that this script ran there, and skipping on it would report
    // a database ok that never ran.
    for (const auto& [database, record] : done)
      if (record.script_sha256 != sha)
        throw std::runtime_error(
            "the journal " + options.resume + " is of another script (" + database +
            (record.script_sha256.empty() ? " has no script_sha256"
                                          : " ran sha256 " + record.script_sha256) +
            ", this script is " + sha + "): resume with the script it began");
  }
  const std::string journal_path = options.journal.empty() ? options.resume : options.journal;
  std::optional<FleetJournal> journal;
  if (!journal_path.empty()) journal.emplace(platform, journal_path);

  const ExecContext context = MakeExecContext(platform, options);
  FleetOutput output(platform, options, targets.size(), journal_path);
  std::vector<FleetTarget> to_run;
  for (const FleetTarget& target : targets) {
    TargetStatus status;
    const auto record = done.find(target.database);
    if (record != done.end() && ParseTargetStatus(record->second.status, &status) && Done(status))
      output.Skipped(target.database, record->second, status);
    else
      to_run.push_back(target);
  }

  std::mutex finishing;
  std::string journal_failure;
  output.Begin();
  const std::size_t not_started = RunEachTarget(
      to_run, FleetBounds{options.jobs != 0 ? options.jobs : DefaultJobs(), options.jobs_per_host},
      [&](const FleetTarget& target) {
        std::string document;
        TargetResult result;
        try {
          result = RunTarget(platform, context, options, script, target,
                             options.report == Report::kJson ? &document : nullptr);
        } catch (...) {
          // Out of memory and the like: the database did not run.
          result.target = target;
          result.status = TargetStatus::kBrokenOff;
          result.result = result.first_failure = OneLineMessage(CurrentExceptionText());
        }
        const std::lock_guard lock(finishing);
        if (journal &&
            !journal->Append(JournalLine(result, sha, UtcTimestamp(std::chrono::system_clock::now())))) {
          if (journal_failure.empty()) journal_failure = journal->Failure();
          g_stop.store(true);
        }
        output.Finished(result, document);
      },
      g_stop);
  return output.End(not_started, journal_failure);
}

}  // namespace tolvane::exec
