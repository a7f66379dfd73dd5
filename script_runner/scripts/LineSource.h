// The "lines" dialect: one statement per line, by the system's line rule.
#pragma once

#include <string_view>

#include "script_runner/scripts/ScriptStatement.h"

namespace tolvane {

// Every non-empty line is one statement; empty lines are passed over but
// keep their index, so line i always names TESTE<i>.TXT. A line of blanks is
// a statement like any other.
class LineSource final : public StatementSource {
 public:
  explicit LineSource(std::string_view script) : script_(script) {}
  bool Next(ScriptStatement* out) override;

 private:
  std::string_view script_;
  std::size_t pos_ = 0;
  int index_ = 0;
};

}  // namespace tolvane
