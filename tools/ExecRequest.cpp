#include "tools/ExecRequest.h"

#include "runtime/Platform.h"
#include "script_runner/function/ScriptRunner.h"

namespace tolvane::exec {

ExecContext MakeExecContext(Platform& platform, const ExecOptions& options) {
  ExecContext context;
  context.found = FindExecConfig(platform, options);
  const ModuleConfig* config = context.found.config ? &*context.found.config : nullptr;
  context.login = LoginIdentity(ResolveLogin(platform, options, config));
  context.user = platform.GetEnvironment("USER");
  if (context.user.empty()) context.user = platform.GetEnvironment("USERNAME");
  return context;
}

RunRequest MakeRunRequest(const ExecContext& context, const ExecOptions& options,
                          const std::string& database, blobcallback* script) {
  RunRequest request;
  request.script = HostBlobSource(script);
  request.target = database;
  if (!options.run_options.empty()) request.options = options.run_options;
  request.caller.routine = "tolvane-exec";
  request.caller.user = context.user;
  request.load_config = nullptr;  // none: the module's built-in settings
  if (context.found.config)
    request.load_config = [config = *context.found.config](Platform&, FirebirdConfig&) {
      return std::optional(config);
    };
  request.login = context.login;
  return request;
}

}  // namespace tolvane::exec
