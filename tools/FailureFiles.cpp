#include "tools/FailureFiles.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include "SystemNames.h"
#include "tools/HostSystem.h"

namespace tolvane_exec {

namespace {

// "TESTE" digits ".TXT", nothing else; the digits give the index.
bool ParseFailureName(const std::string& name, unsigned long& index) {
  constexpr std::string_view prefix = "TESTE";
  constexpr std::string_view suffix = ".TXT";
  if (name.size() <= prefix.size() + suffix.size()) return false;
  if (!name.starts_with(prefix) || !name.ends_with(suffix)) return false;
  const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  index = std::stoul(digits);
  return true;
}

}  // namespace

FailureFileWatch::FailureFileWatch() : started_(host::Now()) {}

std::string FailureFileWatch::Folder() {
  const char* folder = std::getenv("UDFTOLVANE_FAILURE_DIR");
  return folder != nullptr && *folder != '\0' ? folder : tolvane::system_names::kFailureFolder;
}

std::vector<FailureFile> FailureFileWatch::Written() const {
  namespace fs = std::filesystem;
  std::vector<FailureFile> files;
  std::error_code error;
  // A drive alone ("D:") would name its current folder, not its root.
  std::string folder = Folder();
  if (folder.ends_with(':')) folder += tolvane::system_names::kPathSeparators[0];
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    unsigned long index = 0;
    if (!ParseFailureName(entry.path().filename().string(), index)) continue;
    host::Stamp written = 0;
    if (!host::RegularFileStamp(entry.path().string(), &written) || written < started_) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    files.push_back({index, entry.path().string(), std::move(content)});
  }
  std::sort(files.begin(), files.end(), [](const FailureFile& a, const FailureFile& b) { return a.index < b.index; });
  return files;
}

}  // namespace tolvane_exec
