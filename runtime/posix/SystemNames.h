// The names and folders that differ between systems, Linux side. The build
// puts this folder or its Windows sibling on the include path.
#pragma once

#include <string_view>

namespace tolvane::system_names {

// The driver library the runner loads, and the client library it names.
inline constexpr const char* kDriverLibrary = "libfbdrv.so";
inline constexpr const char* kClientLibrary = "libfbclient.so.2";
// The module's own file name.
inline constexpr const char* kModuleFile = "UDFTolvane.so";
// Path separators; the first is the one written.
inline constexpr std::string_view kPathSeparators = "/";
// Where failure files go when UDFTOLVANE_FAILURE_DIR is not set.
inline constexpr const char* kFailureFolder = "/tmp";

}  // namespace tolvane::system_names
