#include "tools/UdfModule.h"

#include <filesystem>

#include "SystemNames.h"
#include "tools/HostSystem.h"

namespace tolvane_exec {

UdfModule::UdfModule(const std::string& path) {
  std::string reason;
  handle_ = host::LoadModule(path, &reason);
  if (handle_ == nullptr) {
    throw ModuleLoadError("cannot load " + path + ": " + reason);
  }
  entry_ = reinterpret_cast<ExecutaSql>(host::FindSymbol(handle_, "executa_sql"));
  if (entry_ == nullptr) {
    throw ModuleLoadError(path + " has no executa_sql");
  }
}

const char* UdfModule::Run(blobcallback* script, const char* database) const {
  return entry_(script, database);
}

std::string DefaultModulePath() {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path bin = fs::path(host::ProgramPath()).parent_path();
  const char* module = tolvane::system_names::kModuleFile;
  const fs::path candidates[] = {bin / "../lib" / module, bin / TOLVANE_INSTALLED_MODULE_DIR / module,
                                 bin / module};
  for (const fs::path& candidate : candidates) {
    if (fs::exists(candidate, error)) return candidate.lexically_normal().string();
  }
  return candidates[0].lexically_normal().string();
}

}  // namespace tolvane_exec
