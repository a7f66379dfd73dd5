// Loading the client library, one file per system: PosixLibraryLoader.cpp
// (dlopen) or WindowsLibraryLoader.cpp (LoadLibraryA), chosen by the build.
#pragma once

#include <string>

namespace tolvane::fbdrv {

// The library loaded by file name, never unloaded; null, with the system's
// reason in *reason, when it cannot be loaded.
void* LoadLibraryByName(const std::string& name, std::string* reason);

// The address of an export of library; null when absent.
void* FindLibrarySymbol(void* library, const char* name);

}  // namespace tolvane::fbdrv
