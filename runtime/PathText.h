// Folders and file names in paths, by the system's separators and roots
// (SystemNames.h): "/" on Linux, "\" or "/" and drive roots on Windows.
#pragma once

#include <string>
#include <string_view>

namespace tolvane {

bool EndsWithSeparator(std::string_view path);
// The folder part of path, a root keeping its separator ("/", "C:\"); empty
// when path has no separator.
std::string FolderOf(const std::string& path);
// folder and name with one separator between them; empty for no folder.
std::string JoinPath(const std::string& folder, std::string_view name);

}  // namespace tolvane
