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

std::string DefaultModulePath() {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path bin = fs::read_symlink("/proc/self/exe", error).parent_path();
  const fs::path candidates[] = {bin / "../lib/UDFTolvane.so",
                                 bin / TOLVANE_INSTALLED_MODULE_DIR / "UDFTolvane.so"};
  for (const fs::path& candidate : candidates) {
    if (fs::exists(candidate, error)) return candidate.lexically_normal().string();
  }
  return candidates[0].lexically_normal().string();
}

}  // namespace tolvane_exec
