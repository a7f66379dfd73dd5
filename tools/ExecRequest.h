// The request tolvane-exec makes of the engine for one database: the same
// for a single run and for each database of a run over many, so that each of
// those runs exactly as a single run would.
#pragma once

#include <ibase.h>

#include <optional>
#include <string>

#include "script_runner/engine/RunRequest.h"
#include "tools/ExecOptions.h"
#include "tools/ExecSettings.h"

namespace tolvane {
class Platform;
}

namespace tolvane::exec {

// What every run of one command shares: the configuration found, the login
// and who is asking. Raises as FindExecConfig does.
struct ExecContext {
  ExecConfig found;
  std::optional<RunIdentity> login;
  std::string user;  // the local user, for the run log
};
ExecContext MakeExecContext(Platform& platform, const ExecOptions& options);

// The request to run the script script hands out on database.
RunRequest MakeRunRequest(const ExecContext& context, const ExecOptions& options,
                          const std::string& database, blobcallback* script);

}  // namespace tolvane::exec
