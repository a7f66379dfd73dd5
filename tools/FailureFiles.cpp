#include "tools/FailureFiles.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include "SystemNames.h"
#include "runtime/Platform.h"
#include "script_runner/engine/FailureFile.h"
#include "tools/HostSystem.h"

namespace tolvane::exec {

FailureFileWatch::FailureFileWatch() : started_(host::Now()) {}

std::string FailureFileWatch::Folder() { return tolvane::FailureFolder(tolvane::DefaultPlatform()); }

std::vector<FailureFile> FailureFileWatch::Written() const {
  namespace fs = std::filesystem;
  std::vector<FailureFile> files;
  std::error_code error;
  // A drive alone ("D:") would name its current folder, not its root.
  std::string folder = Folder();
  if (folder.ends_with(':')) folder += tolvane::system_names::kPathSeparators[0];
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    unsigned long index = 0;
    if (!tolvane::FailureFileIndex(entry.path().filename().string(), &index)) continue;
    host::Stamp written = 0;
    if (!host::RegularFileStamp(entry.path().string(), &written) || written < started_) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    files.push_back({index, entry.path().string(), std::move(content)});
  }
  std::sort(files.begin(), files.end(), [](const FailureFile& a, const FailureFile& b) { return a.index < b.index; });
  return files;
}

}  // namespace tolvane::exec
