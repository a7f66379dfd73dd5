#include "tools/FailureFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

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

bool NotBefore(const timespec& a, const timespec& b) {
  return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec >= b.tv_nsec);
}

}  // namespace

// File times come from the kernel's coarse clock, which can lag the fine one
// by a tick: reading the same clock keeps a file written at once from looking
// older than the run.
FailureFileWatch::FailureFileWatch() { clock_gettime(CLOCK_REALTIME_COARSE, &started_); }

std::string FailureFileWatch::Folder() {
  const char* folder = std::getenv("UDFTOLVANE_FAILURE_DIR");
  return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

std::vector<FailureFile> FailureFileWatch::Written() const {
  namespace fs = std::filesystem;
  std::vector<FailureFile> files;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(Folder(), error)) {
    unsigned long index = 0;
    if (!ParseFailureName(entry.path().filename().string(), index)) continue;
    struct stat info {};
    if (lstat(entry.path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (!NotBefore(info.st_mtim, started_)) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    files.push_back({index, entry.path().string(), std::move(content)});
  }
  std::sort(files.begin(), files.end(), [](const FailureFile& a, const FailureFile& b) { return a.index < b.index; });
  return files;
}

}  // namespace tolvane_exec
