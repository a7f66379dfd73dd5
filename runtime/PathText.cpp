#include "runtime/PathText.h"

#include "SystemNames.h"

namespace tolvane {

bool EndsWithSeparator(std::string_view path) {
  return !path.empty() && system_names::kPathSeparators.find(path.back()) != std::string_view::npos;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of(system_names::kPathSeparators);
  if (slash == std::string::npos) return std::string();
  const std::string_view with_separator = std::string_view(path).substr(0, slash + 1);
  // A root without its separator would name something else ("" or "C:").
  if (system_names::IsAbsolutePath(with_separator) &&
      !system_names::IsAbsolutePath(with_separator.substr(0, slash)))
    return std::string(with_separator);
  return path.substr(0, slash);
}

std::string JoinPath(const std::string& folder, std::string_view name) {
  if (folder.empty()) return std::string();
  std::string path = folder;
  if (!EndsWithSeparator(path)) path += system_names::kPathSeparators[0];
  path += name;
  return path;
}

}  // namespace tolvane
