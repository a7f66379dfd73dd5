#include "tools/UdfModule.h"

#include <dlfcn.h>

#include <filesystem>

namespace tolvane_exec {

UdfModule::UdfModule(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    throw ModuleLoadError("cannot load " + path + ": " + (reason ? reason : "unknown reason"));
  }
  entry_ = reinterpret_cast<ExecutaSql>(dlsym(handle_, "executa_sql"));
  if (entry_ == nullptr) {
    throw ModuleLoadError(path + " has no executa_sql");
  }
}

const char* UdfModule::Run(blobcallback* script, const char* database) const {
  return entry_(script, database);
}

}  // namespace tolvane_exec
