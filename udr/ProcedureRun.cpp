#include "udr/ProcedureRun.h"

#include <new>
#include <utility>

#include "runtime/Exceptions.h"
#include "runtime/Messages.h"
#include "script_runner/ConfigFile.h"
#include "script_runner/DatabaseTarget.h"
#include "script_runner/RunnerMessages.h"
#include "script_runner/RunLimits.h"
#include "script_runner/RunOptions.h"
#include "udr/CallerTarget.h"

namespace tolvane {
namespace {

constexpr const char* kNoPath = "The database path is NULL: give the database to run the script on";
constexpr const char* kNoCaller = "The caller's user name is unknown: the run has no identity to take";

}  // namespace

ProcedureRun::ProcedureRun(Platform& platform, ProcedureArguments arguments) {
  try {
    const RunSettings base = arguments.config ? ConfiguredRunSettings(platform, *arguments.config)
                                              : RunSettings{};
    RunSettings settings = ParseRunOptions(arguments.options.value_or(std::string()), base);
    if (!arguments.script) return;  // nothing to run: no rows, an ok result
    if (arguments.caller_user.empty()) {
      Refuse(kNoCaller);
      return;
    }
    settings.owner = arguments.caller_user;
    if (arguments.config && arguments.config->max_runs_per_user.IsSet())
      settings.max_runs_per_user = arguments.config->max_runs_per_user.value;
    std::string target;
    if (arguments.as_module) {
      if (!arguments.database_path) {
        Refuse(kNoPath);
        return;
      }
      target = std::move(*arguments.database_path);
    } else {
      // Only the caller's own database, before any other rule.
      const std::string named = arguments.database_path.value_or(std::string());
      std::string refusal = CallerTargetRefusal(platform, named, arguments.caller_database);
      if (!refusal.empty()) {
        Refuse(std::move(refusal));
        return;
      }
      target = named.empty() ? arguments.caller_database : named;
    }
    if (arguments.config) {
      std::string refusal = TargetRefusal(platform, *arguments.config, target);
      if (!refusal.empty()) {
        Refuse(std::move(refusal));
        return;
      }
    }
    if (!arguments.as_module) {
      settings.identity.reset();
      settings.attachment = arguments.caller_attachment;
      settings.lock_timeout = CallerLockTimeout(settings.lock_timeout, base.lock_timeout);
      // Failure files and the run log name the database as the server opened it.
      target = arguments.caller_database;
    }
    script_ = std::move(*arguments.script);
    run_ = std::make_unique<ScriptRun>(platform, script_, std::move(target), settings);
    const std::string log_folder = arguments.config ? arguments.config->run_log_dir.value : "";
    if (RunObserver* log = RunLogFromEnvironment(platform, &log_, log_folder)) run_->AddObserver(log);
  } catch (const Exception& e) {
    Refuse(e.Message());
  } catch (const std::bad_alloc&) {
    Refuse(kSOutOfMemory);
  } catch (const std::exception& e) {
    Refuse(e.what());
  }
}

ProcedureRun::ProcedureRun(std::string refusal) { Refuse(std::move(refusal)); }

void ProcedureRun::Refuse(std::string text) {
  run_.reset();
  result_ok_ = false;
  result_text_ = std::move(text);
}

ProcedureRun::Row ProcedureRun::Next(StatementOutcome* outcome) {
  if (result_given_) return Row::kEnd;
  if (run_ != nullptr) {
    if (run_->Step(outcome)) return Row::kStatement;
    result_ok_ = run_->ResultOk();
    result_text_ = run_->ResultText();
    elapsed_us_ = run_->Summary().elapsed_us;
    run_.reset();  // the run's connection is gone already; nothing is held on
  } else if (result_ok_) {
    result_text_ = kSResultOk;
  }
  result_given_ = true;
  return Row::kResult;
}

}  // namespace tolvane
