#include "tools/FailureFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include "runtime/Platform.h"
#include "script_runner/FailureFile.h"

namespace tolvane_exec {

namespace {

bool NotBefore(const timespec& a, const timespec& b) {
  return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec >= b.tv_nsec);
}

}  // namespace

// File times come from the kernel's coarse clock, which can lag the fine one
// by a tick: reading the same clock keeps a file written at once from looking
// older than the run.
FailureFileWatch::FailureFileWatch() { clock_gettime(CLOCK_REALTIME_COARSE, &started_); }

std::string FailureFileWatch::Folder() { return tolvane::FailureFolder(tolvane::DefaultPlatform()); }

std::vector<FailureFile> FailureFileWatch::Written() const {
  namespace fs = std::filesystem;
  std::vector<FailureFile> files;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(Folder(), error)) {
    unsigned long index = 0;
    if (!tolvane::FailureFileIndex(entry.path().filename().string(), &index)) continue;
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
