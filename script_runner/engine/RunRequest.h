// One way from a request to a run. Every front end (executa_sql and its UDR
// twin, TOLVANE_RUN, tolvane-exec) says what it was asked for in a
// RunRequest; PrepareRun alone decides the settings (the configuration, the
// options, the identity, the limits), checks the target, and gives back either
// a refusal or a run ready to be stepped with its observers. The front ends
// are loops over ScriptRun::Step() and nothing more.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "script_runner/settings/ModuleConfig.h"
#include "script_runner/engine/RunLog.h"
#include "script_runner/engine/RunSettings.h"
#include "script_runner/engine/ScriptRun.h"
#include "script_runner/scripts/ScriptText.h"

namespace tolvane {

class FirebirdConfig;
class Platform;

// A BLOB as its host hands it over: its length and the routine that fetches
// its segments (ScriptText.h).
struct ScriptSource {
  std::size_t total = 0;
  GetScriptSegment get_segment;
};

// A run that takes the identity of the user who called it (TOLVANE_RUN):
// their runs count against the bound per user, and, unless the server's
// configuration says procedure_identity = module, the run runs on their own
// attachment and reaches their own database only.
struct CallerIdentity {
  std::string user;  // empty: the server could not tell; the run is refused
  std::string role;  // for the run log
  // The caller's attachment (the client library's interface, held by the
  // routine for as long as the run lives) and its database's file as the
  // server opened it.
  void* attachment = nullptr;
  std::string database;
};

struct RunRequest {
  // Nothing: no script given (TOLVANE_RUN's NULL), nothing runs and the result
  // is "ok". The BLOB is read only once the run is admitted.
  std::optional<ScriptSource> script;
  // Nothing: none given (NULL). The module's login takes it as it is, the
  // empty path included; a caller's identity as its own database.
  std::optional<std::string> target;
  std::optional<std::string> options;  // nothing: the configured defaults
  RunCaller caller;                    // who asked, for the run log
  // Unset: the module's own login (or the configuration's), for any target
  // the configuration admits.
  std::optional<CallerIdentity> identity;
  // A login of the front end's own (tolvane-exec's --user and the like),
  // over the configuration's; unset: the configuration's, or the module's.
  std::optional<RunIdentity> login;
  // The configuration the run takes: the server's udftolvane.conf by
  // default; an empty function: none, the module's built-in behaviour.
  std::function<std::optional<ModuleConfig>(Platform&, FirebirdConfig&)> load_config = LoadServerConfig;
  // A refusal as the call's result: executa_sql's form, the message and the
  // separator a statement would follow; otherwise the message alone.
  bool refusal_as_result_text = true;
  // The run's failure files go to a folder of this name under the failure
  // folder (RunSettings::failure_subfolder); empty: the failure folder.
  std::string failure_subfolder;

  static std::optional<ModuleConfig> LoadServerConfig(Platform& platform, FirebirdConfig& firebird);
};

// One request prepared: a run ready to step, or a refusal. The constructor is
// the one place where a run's settings are decided: the configuration read,
// the options applied over it, the caller's rules (own database only, a lock
// timeout no longer than the server's, the bound per user), the target
// admitted, the login chosen, and the script read. observers (not owned) are
// told of the run after its run log. A refusal is written to the run log as
// a run of its own. Never throws.
class PreparedRun {
 public:
  // Neither refused nor a run: a call that never got as far as a request.
  PreparedRun() = default;
  // firebird: the server's folders, settings and aliases the rules read.
  PreparedRun(Platform& platform, FirebirdConfig& firebird, const RunRequest& request,
              std::span<RunObserver* const> observers = {});
  PreparedRun(const PreparedRun&) = delete;
  PreparedRun& operator=(const PreparedRun&) = delete;

  bool Refused() const { return refused_; }
  // The refusal's message, and the text the call returns for it.
  const std::string& RefusalMessage() const { return refusal_message_; }
  const std::string& RefusalText() const { return refusal_text_; }

  // Null when refused, when there was no script, or after Release().
  ScriptRun* Run() const { return run_.get(); }
  const RunSettings& Settings() const { return settings_; }

  // Lets go of the run, its run log and its script (once it has ended).
  void Release() noexcept;

 private:
  // The refusal's message; empty when the run is ready (or has no script).
  std::string Prepare(Platform& platform, FirebirdConfig& firebird, const RunRequest& request,
                      std::span<RunObserver* const> observers, std::string* log_folder);
  void Refuse(Platform& platform, const RunRequest& request, const std::string& log_folder,
              std::string_view message) noexcept;

  bool refused_ = false;
  std::string refusal_message_;
  std::string refusal_text_;
  RunSettings settings_;
  ScriptText script_;
  std::optional<RunLog> log_;
  std::unique_ptr<ScriptRun> run_;  // last: it reads the script and tells the log
};

}  // namespace tolvane
