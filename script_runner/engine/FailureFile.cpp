#include "script_runner/engine/FailureFile.h"

#include "SystemNames.h"
#include "runtime/Platform.h"
#include "runtime/StringList.h"

namespace tolvane {

std::string FailureFolder(Platform& platform, const std::string& configured) {
  std::string folder = platform.GetEnvironment("UDFTOLVANE_FAILURE_DIR");
  if (!folder.empty()) return folder;
  if (!configured.empty()) return configured;
  return std::string(system_names::kFailureFolder);
}

std::string FailureFilePath(const std::string& folder, int index) {
  std::string path = folder;
  if (path.empty() || system_names::kPathSeparators.find(path.back()) == std::string_view::npos)
    path += system_names::kPathSeparators[0];
  path += "TESTE";
  path += std::to_string(index);
  path += ".TXT";
  return path;
}

bool FailureFileIndex(std::string_view name, unsigned long* index) {
  constexpr std::string_view kPrefix = "TESTE";
  constexpr std::string_view kSuffix = ".TXT";
  if (name.size() <= kPrefix.size() + kSuffix.size()) return false;
  if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return false;
  const std::string_view digits =
      name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
  if (digits.size() > 9) return false;
  unsigned long value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  *index = value;
  return true;
}

void WriteFailureFile(Platform& platform, const std::string& path, const std::string& line,
                      const std::string& database_path) {
  TStringList record;
  record.Add(line + " - " + database_path);
  record.SaveToFile(platform, path);
}

}  // namespace tolvane
