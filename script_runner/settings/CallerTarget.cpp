#include "script_runner/settings/CallerTarget.h"

#include <optional>

#include "runtime/Platform.h"
#include "script_runner/settings/DatabaseTarget.h"

namespace tolvane {
namespace {

std::optional<FileFacts> FactsOf(Platform& platform, const std::string& path) {
  FileFacts facts;
  if (platform.ReadFileFacts(path, &facts) != 0 || !facts.regular) return std::nullopt;
  return facts;
}

}  // namespace

std::string CallerTargetRefusal(Platform& platform, FirebirdConfig& firebird, const std::string& target,
                                const std::string& own_file) {
  if (target.empty()) return std::string();
  const std::optional<FileFacts> own = FactsOf(platform, own_file);
  std::optional<FileFacts> named;
  if (const std::optional<std::string> file = LocalTargetFile(platform, firebird, target))
    named = FactsOf(platform, *file);
  if (own && named && own->identity == named->identity)
    return std::string();
  return "Run refused: database '" + target + "' is not this database (" + own_file +
         "): TOLVANE_RUN runs on the caller's own attachment, so it reaches the database it is "
         "called in and no other; runs on other databases need procedure_identity = module, "
         "which only the server's configuration (udftolvane.conf) can give";
}

}  // namespace tolvane
