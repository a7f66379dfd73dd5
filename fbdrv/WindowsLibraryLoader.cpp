#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "fbdrv/LibraryLoader.h"

namespace tolvane::fbdrv {

void* LoadLibraryByName(const std::string& name, std::string* reason) {
  HMODULE module = ::LoadLibraryA(name.c_str());
  if (module == nullptr) {
    const DWORD error = ::GetLastError();
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    *reason = n > 0 && text != nullptr ? std::string(text, n) : "error " + std::to_string(error);
    if (text != nullptr) ::LocalFree(text);
    while (!reason->empty() && (reason->back() == '\n' || reason->back() == '\r')) reason->pop_back();
  }
  return reinterpret_cast<void*>(module);
}

void* FindLibrarySymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace tolvane::fbdrv
