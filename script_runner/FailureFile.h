// The one-line record a failed script line leaves behind.
#pragma once

#include <string>
#include <string_view>

namespace tolvane {

class Platform;

// The folder of the failure files: UDFTOLVANE_FAILURE_DIR when set and not
// empty, else the folder a FailureFolderScope of this thread names, else /tmp.
std::string FailureFolder(Platform& platform);

// While it lives, runs on this thread that find no UDFTOLVANE_FAILURE_DIR
// write their failure files to folder (the configuration's failure_dir).
// Scopes nest; each restores the one before it.
class FailureFolderScope {
 public:
  explicit FailureFolderScope(std::string folder);
  ~FailureFolderScope();
  FailureFolderScope(const FailureFolderScope&) = delete;
  FailureFolderScope& operator=(const FailureFolderScope&) = delete;

 private:
  std::string folder_;
  const std::string* previous_;
};

// folder + "/TESTE" + index + ".TXT".
std::string FailureFilePath(const std::string& folder, int index);

// The index a failure file's name (without folder) carries: "TESTE" digits
// ".TXT" and nothing else; false for any other name.
bool FailureFileIndex(std::string_view name, unsigned long* index);

// Creates or replaces the file with exactly: line, " - ", database path,
// CR LF. Raises EFCreateError or EWriteError.
void WriteFailureFile(Platform& platform, const std::string& path, const std::string& line,
                      const std::string& database_path);

}  // namespace tolvane
