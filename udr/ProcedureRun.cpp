#include "udr/ProcedureRun.h"

#include <new>
#include <utility>

#include "runtime/Exceptions.h"
#include "runtime/Messages.h"
#include "script_runner/settings/ConfigFile.h"
#include "script_runner/settings/DatabaseTarget.h"
#include "script_runner/settings/ModuleLogin.h"
#include "script_runner/engine/RunnerMessages.h"
#include "script_runner/engine/RunLimits.h"
#include "script_runner/settings/RunOptions.h"
#include "udr/CallerTarget.h"

namespace tolvane {
namespace {

constexpr const char* kNoPath = "The database path is NULL: give the database to run the script on";
constexpr const char* kNoCaller = "The caller's user name is unknown: the run has no identity to take";

}  // namespace

ProcedureRun::ProcedureRun(Platform& platform, ProcedureArguments arguments) {
  RunSettings settings;
  settings.caller = {"TOLVANE_RUN", arguments.caller_user, arguments.caller_role};
  try {
    if (arguments.config) {
      settings = ConfiguredRunSettings(platform, *arguments.config);
      settings.caller = {"TOLVANE_RUN", arguments.caller_user, arguments.caller_role};
    }
    // The server's own limit, which a caller's option may shorten only.
    const std::optional<int> server_lock_timeout = settings.lock_timeout;
    settings = ParseRunOptions(arguments.options.value_or(std::string()), settings);
    every_statement_text_ = settings.every_statement_text;
    if (!arguments.script) return;  // nothing to run: no rows, an ok result
    if (arguments.caller_user.empty()) {
      Refuse(platform, settings, arguments, kNoCaller);
      return;
    }
    settings.owner = arguments.caller_user;
    if (arguments.config && arguments.config->max_runs_per_user.IsSet())
      settings.max_runs_per_user = arguments.config->max_runs_per_user.value;
    std::string target;
    if (arguments.as_module) {
      if (!arguments.database_path) {
        Refuse(platform, settings, arguments, kNoPath);
        return;
      }
      target = *arguments.database_path;
    } else {
      // Only the caller's own database, before any other rule.
      const std::string named = arguments.database_path.value_or(std::string());
      std::string refusal = CallerTargetRefusal(platform, named, arguments.caller_database);
      if (!refusal.empty()) {
        Refuse(platform, settings, arguments, std::move(refusal));
        return;
      }
      target = named.empty() ? arguments.caller_database : named;
    }
    if (arguments.config) {
      TargetAdmission admission = AdmitTarget(platform, *arguments.config, target);
      if (!admission.refusal.empty()) {
        Refuse(platform, settings, arguments, std::move(admission.refusal));
        return;
      }
      settings.admitted = std::move(admission.file);
    }
    if (!arguments.as_module) {
      settings.identity.reset();
      settings.attachment = arguments.caller_attachment;
      settings.lock_timeout = CallerLockTimeout(settings.lock_timeout, server_lock_timeout);
      // Failure files and the run log name the database as the server opened it.
      target = arguments.caller_database;
    } else if (settings.identity) {
      settings.attach_path = BoundAttachPath(platform, *settings.identity, target);
    }
    script_ = std::move(*arguments.script);
    run_ = std::make_unique<ScriptRun>(platform, script_, std::move(target), settings);
    const std::string log_folder = arguments.config ? arguments.config->run_log_dir.value : "";
    if (RunObserver* log = RunLogFromEnvironment(platform, &log_, log_folder)) run_->AddObserver(log);
    run_->AddObserver(&transactions_);
  } catch (const Exception& e) {
    Refuse(platform, settings, arguments, e.Message());
  } catch (const std::bad_alloc&) {
    Refuse(kSOutOfMemory);
  } catch (const std::exception& e) {
    Refuse(platform, settings, arguments, e.what());
  }
}

// A refused call leaves its run log too; the options as the caller gave them.
void ProcedureRun::Refuse(Platform& platform, const RunSettings& settings,
                          const ProcedureArguments& arguments, std::string text) {
  Refuse(std::move(text));
  try {
    const std::string log_folder = arguments.config ? arguments.config->run_log_dir.value : "";
    std::optional<RunLog> log;
    if (RunObserver* observer = RunLogFromEnvironment(platform, &log, log_folder)) {
      std::string options;
      RunStart start = DescribeRun(settings, arguments.database_path.value_or(std::string()), &options);
      if (arguments.options) start.options = *arguments.options;
      LogRefusedRun(*observer, start, result_text_);
    }
  } catch (...) {
  }
}

void ProcedureRun::Transactions::OnTransaction(const TransactionOutcome& transaction) noexcept {
  try {
    if (transaction.ends_run) last = transaction;
    else during.push_back(transaction);
  } catch (...) {
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
  transaction_given_ = false;
  if (!transactions_.during.empty()) {
    transaction_ = transactions_.during.front();
    transactions_.during.pop_front();
    transaction_given_ = true;
    return Row::kTransaction;
  }
  if (run_ != nullptr) {
    if (run_->Step(outcome)) return Row::kStatement;
    result_ok_ = run_->ResultOk();
    result_text_ = run_->ResultText();
    elapsed_us_ = run_->Summary().elapsed_us;
    run_.reset();  // the run's connection is gone already; nothing is held on
    if (transactions_.last) {
      transaction_ = *transactions_.last;
      transaction_given_ = true;
    }
  } else if (result_ok_) {
    result_text_ = kSResultOk;
  }
  result_given_ = true;
  return Row::kResult;
}

}  // namespace tolvane
