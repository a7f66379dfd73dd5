// The names and folders that differ between systems, Windows side. The build
// puts this folder or its Linux sibling on the include path.
#pragma once

#include <string_view>

namespace tolvane::system_names {

// The driver library the runner loads, and the client library it names.
inline constexpr const char* kDriverLibrary = "fbdrv.dll";
inline constexpr const char* kClientLibrary = "fbclient.dll";
// The module's own file name.
inline constexpr const char* kModuleFile = "UDFTolvane.dll";
// Path separators; the first is the one written, the second is accepted.
inline constexpr std::string_view kPathSeparators = "\\/";
// Failure files go to D:\TESTE<index>.TXT unless UDFTOLVANE_FAILURE_DIR is set.
inline constexpr const char* kFailureFolder = "D:";

}  // namespace tolvane::system_names
