#include "script_runner/FailureFile.h"

#include "runtime/Platform.h"
#include "runtime/StringList.h"

namespace tolvane {

namespace {

thread_local const std::string* t_configured_folder = nullptr;

}  // namespace

FailureFolderScope::FailureFolderScope(std::string folder)
    : folder_(std::move(folder)), previous_(t_configured_folder) {
  t_configured_folder = &folder_;
}

FailureFolderScope::~FailureFolderScope() { t_configured_folder = previous_; }

std::string FailureFolder(Platform& platform) {
  std::string folder = platform.GetEnvironment("UDFTOLVANE_FAILURE_DIR");
  if (!folder.empty()) return folder;
  if (t_configured_folder != nullptr) return *t_configured_folder;
  return std::string("/tmp");
}

std::string FailureFilePath(const std::string& folder, int index) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
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
