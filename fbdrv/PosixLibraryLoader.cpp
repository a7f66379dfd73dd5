#include <dlfcn.h>

#include "fbdrv/LibraryLoader.h"

namespace tolvane::fbdrv {

void* LoadLibraryByName(const std::string& name, std::string* reason) {
  void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* text = dlerror();
    *reason = text != nullptr ? text : "";
  }
  return handle;
}

void* FindLibrarySymbol(void* library, const char* name) { return dlsym(library, name); }

}  // namespace tolvane::fbdrv
