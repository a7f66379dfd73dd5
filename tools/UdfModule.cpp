#include "tools/UdfModule.h"

#include <filesystem>

#include "SystemNames.h"
#include "runtime/Platform.h"

namespace tolvane::exec {

UdfModule::UdfModule(const std::string& path) {
  Platform& platform = DefaultPlatform();
  std::string reason;
  handle_ = platform.LoadLibrary(path, &reason);
  if (handle_ == nullptr) {
    throw ModuleLoadError("cannot load " + path + ": " + reason);
  }
  entry_ = reinterpret_cast<ExecutaSql>(platform.FindSymbol(handle_, "executa_sql"));
  if (entry_ == nullptr) {
    throw ModuleLoadError(path + " has no executa_sql");
  }
}

const char* UdfModule::Run(blobcallback* script, const char* database) const {
  return entry_(script, database);
}

}  // namespace tolvane::exec
