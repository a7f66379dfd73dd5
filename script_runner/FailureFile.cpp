#include "script_runner/FailureFile.h"

#include "SystemNames.h"
#include "runtime/Platform.h"
#include "runtime/StringList.h"

namespace tolvane {

std::string FailureFolder(Platform& platform) {
  std::string folder = platform.GetEnvironment("UDFTOLVANE_FAILURE_DIR");
  return folder.empty() ? std::string(system_names::kFailureFolder) : folder;
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

void WriteFailureFile(Platform& platform, const std::string& path, const std::string& line,
                      const std::string& database_path) {
  TStringList record;
  record.Add(line + " - " + database_path);
  record.SaveToFile(platform, path);
}

}  // namespace tolvane
