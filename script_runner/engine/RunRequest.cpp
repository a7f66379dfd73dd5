#include "script_runner/engine/RunRequest.h"

#include <utility>

#include "runtime/ExceptionText.h"
#include "script_runner/settings/CallerTarget.h"
#include "script_runner/settings/ConfigFile.h"
#include "script_runner/settings/DatabaseTarget.h"
#include "script_runner/settings/ModuleLogin.h"
#include "script_runner/engine/ResultText.h"
#include "script_runner/engine/RunLimits.h"
#include "script_runner/settings/RunOptions.h"

namespace tolvane {
namespace {

constexpr const char* kNoPath = "The database path is NULL: give the database to run the script on";
constexpr const char* kNoCaller = "The caller's user name is unknown: the run has no identity to take";

}  // namespace

std::optional<ModuleConfig> RunRequest::LoadServerConfig(Platform& platform, FirebirdConfig& firebird) {
  return LoadModuleConfig(platform, firebird);
}

PreparedRun::PreparedRun(Platform& platform, FirebirdConfig& firebird, const RunRequest& request,
                         std::span<RunObserver* const> observers) {
  std::string log_folder;
  try {
    const std::string refusal = Prepare(platform, firebird, request, observers, &log_folder);
    if (!refusal.empty()) Refuse(platform, request, log_folder, refusal);
  } catch (...) {
    const std::string_view message = CurrentExceptionText();
    run_.reset();
    Refuse(platform, request, log_folder, message);
  }
}

std::string PreparedRun::Prepare(Platform& platform, FirebirdConfig& firebird, const RunRequest& request,
                                 std::span<RunObserver* const> observers, std::string* log_folder) {
  settings_.caller = request.caller;
  // Without a configuration every setting keeps the module's own behaviour.
  const std::optional<ModuleConfig> config =
      request.load_config ? request.load_config(platform, firebird) : std::nullopt;
  if (config) {
    *log_folder = config->run_log_dir.value;
    settings_ = ConfiguredRunSettings(platform, *config);
    settings_.caller = request.caller;
    if (config->max_runs_per_user.IsSet()) settings_.max_runs_per_user = config->max_runs_per_user.value;
  }
  if (request.login) settings_.identity = request.login;
  settings_.failure_subfolder = request.failure_subfolder;
  // The server's own limit, which a caller's option may shorten only.
  const std::optional<int> server_lock_timeout = settings_.lock_timeout;
  if (request.options) settings_ = ParseRunOptions(*request.options, settings_);
  if (!request.script) return std::string();  // nothing to run: no run, an ok result

  std::string target = request.target.value_or(std::string());
  const CallerIdentity* caller = request.identity ? &*request.identity : nullptr;
  // The server's configuration alone may give a caller's run the module's login.
  const bool on_callers_attachment = caller != nullptr && !(config && ProcedureRunsAsModule(*config));
  if (caller != nullptr) {
    if (caller->user.empty()) return kNoCaller;
    settings_.owner = caller->user;
    if (!on_callers_attachment && !request.target) return kNoPath;
  }
  if (on_callers_attachment) {
    // Only the caller's own database, before any other rule.
    std::string refusal = CallerTargetRefusal(platform, firebird, target, caller->database);
    if (!refusal.empty()) return refusal;
    if (target.empty()) target = caller->database;
  }
  if (config) {
    TargetAdmission admission = AdmitTarget(platform, firebird, *config, target);
    if (!admission.refusal.empty()) return admission.refusal;
    settings_.admitted = std::move(admission.file);
  }
  if (on_callers_attachment) {
    settings_.identity.reset();
    settings_.attachment = caller->attachment;
    settings_.lock_timeout = CallerLockTimeout(settings_.lock_timeout, server_lock_timeout);
    // Failure files and the run log name the database as the server opened it.
    target = caller->database;
  } else if (settings_.identity) {
    settings_.attach_path = BoundAttachPath(firebird, *settings_.identity, target);
  }
  script_ = ReadScriptText(platform, request.script->total, request.script->get_segment);
  run_ = std::make_unique<ScriptRun>(platform, script_.View(), std::move(target), settings_);
  if (RunObserver* log = RunLogFromEnvironment(platform, &log_, *log_folder)) run_->AddObserver(log);
  for (RunObserver* observer : observers) run_->AddObserver(observer);
  return std::string();
}

// A refused call leaves its run log too, with the options as they were given.
void PreparedRun::Refuse(Platform& platform, const RunRequest& request,
                         const std::string& log_folder, std::string_view message) noexcept {
  refused_ = true;
  try {
    refusal_message_.assign(message);
    refusal_text_ = request.refusal_as_result_text ? ComposeResultText(message, std::string_view())
                                                   : refusal_message_;
  } catch (...) {
    return;
  }
  try {
    std::optional<RunLog> log;
    if (RunObserver* observer = RunLogFromEnvironment(platform, &log, log_folder)) {
      // The record points into these two: both live until it is written.
      const std::string target = request.target.value_or(std::string());
      std::string options;
      RunStart start = DescribeRun(settings_, target, &options);
      if (request.options) start.options = *request.options;
      LogRefusedRun(*observer, start, refusal_text_);
    }
  } catch (...) {
  }
}

void PreparedRun::Release() noexcept {
  run_.reset();
  log_.reset();
  script_ = ScriptText();
}

}  // namespace tolvane
