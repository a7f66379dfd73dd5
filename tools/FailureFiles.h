// Finds the failure files a run wrote: TESTE<index>.TXT in the module's
// failure folder, changed since the run began.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane::exec {

struct FailureFile {
  unsigned long index;
  std::string path;
  std::string content;
};

class FailureFileWatch {
 public:
  // Notes the time; call just before the run. configured: the
  // configuration's failure_dir (empty: none).
  explicit FailureFileWatch(std::string configured = std::string());

  // The folder the module writes to, by the module's own rule.
  std::string Folder() const;

  // The failure files changed since construction, by index.
  std::vector<FailureFile> Written() const;

 private:
  std::int64_t started_ = 0;  // on the platform's file clock
  std::string configured_;
};

}  // namespace tolvane::exec
