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
// A path that names its place from the root: "/...".
inline constexpr bool IsAbsolutePath(std::string_view path) {
  return !path.empty() && path.front() == '/';
}
// Whether "X:path" names drive X (else X is a server's name).
inline constexpr bool kDriveLetters = false;
// Whether the file system takes two names that differ in letter case as one.
inline constexpr bool kNamesIgnoreCase = false;
// Where failure files go when UDFTOLVANE_FAILURE_DIR is not set.
inline constexpr const char* kFailureFolder = "/tmp";

}  // namespace tolvane::system_names
