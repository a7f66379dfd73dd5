#include "script_runner/scripts/LineSource.h"

namespace tolvane {

// The same cut as SplitLines, taken one line at a time so that a large
// script is never held as a list.
bool LineSource::Next(ScriptStatement* out) {
  const std::size_t n = script_.size();
  while (pos_ < n) {
    std::size_t end = pos_;
    while (end < n && script_[end] != '\r' && script_[end] != '\n') ++end;
    const std::string_view line = script_.substr(pos_, end - pos_);
    const int index = index_++;
    pos_ = end;
    if (pos_ < n && script_[pos_] == '\r') ++pos_;
    if (pos_ < n && script_[pos_] == '\n') ++pos_;
    if (line.empty()) continue;
    *out = ScriptStatement{};
    out->text = line;
    out->index = index;
    out->first_line = out->last_line = index + 1;
    return true;
  }
  return false;
}

}  // namespace tolvane
