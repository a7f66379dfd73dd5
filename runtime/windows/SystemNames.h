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
// A path that names its place from a root: C:\... (or C:/...), or
// \\server\share\... ; C:x and \x depend on the current drive and folder,
// so they are not.
inline constexpr bool IsAbsolutePath(std::string_view path) {
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  const bool drive = path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') ||
                                          (path[0] >= 'a' && path[0] <= 'z')) &&
                     path[1] == ':' && separator(path[2]);
  return drive || (path.size() >= 2 && separator(path[0]) && separator(path[1]));
}
// Whether "X:path" names drive X (else X is a server's name).
inline constexpr bool kDriveLetters = true;
// Whether the file system takes two names that differ in letter case as one.
inline constexpr bool kNamesIgnoreCase = true;
// Failure files go to D:\TESTE<index>.TXT unless UDFTOLVANE_FAILURE_DIR is set.
inline constexpr const char* kFailureFolder = "D:";

}  // namespace tolvane::system_names
