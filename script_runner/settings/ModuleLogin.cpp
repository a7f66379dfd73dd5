#include "script_runner/settings/ModuleLogin.h"

#include "runtime/Text.h"
#include "script_runner/settings/DatabaseTarget.h"
#include "script_runner/settings/FirebirdConfig.h"

namespace tolvane {
namespace {

constexpr long long kDefaultServicePort = 3050;

}  // namespace

bool IsAdministratorLogin(const std::string& user) { return SameTextAscii(user, "SYSDBA"); }

std::string BoundAttachPath(FirebirdConfig& firebird, const RunIdentity& identity,
                            const std::string& database_path) {
  if (IsAdministratorLogin(identity.user) || database_path.empty()) return std::string();
  if (!SplitTarget(database_path).host.empty()) return std::string();
  const long long port = firebird.Number("RemoteServicePort");
  if (port <= 0 || port == kDefaultServicePort || port > 65535) return "localhost:" + database_path;
  return "localhost/" + std::to_string(port) + ":" + database_path;
}

}  // namespace tolvane
