// The "isql" way of cutting a script into statements: statements end at a
// terminator (";" until SET TERM changes it) that stands in code, not inside
// a literal, a quoted name or a comment; isql's own commands are recognised
// and never sent.
#pragma once

#include <string_view>

#include "script_runner/scripts/ScriptStatement.h"

namespace tolvane {

// Reads a script front to back, one piece per call, without copying it: the
// script must outlive the splitter and the pieces. Lines are counted by the
// system's rule (runtime/LineSplitting.h), so a statement alone on its line
// gets the index the one-statement-per-line rule gives that line.
//
// - An empty statement (nothing but blanks and comments before a terminator)
//   yields no piece; neither do blanks and comments after the last one.
// - Text after the last terminator that holds code is a last piece, kRefused
//   ("unterminated statement"): isql never runs it.
// - SET TERM <new> yields a kSkipped piece ("changes the terminator") and the
//   terminator is <new> from then on: the text after TERM (or an abbreviation
//   down to TERM of TERMINATOR) up to the next blank; the command itself ends
//   with the old terminator. Without a new terminator (`set term ^;` while ^
//   already ends statements) the terminator is ";" again, as isql has it.
// - A line comment ends at LF (a lone CR does not end it), as isql reads
//   lines.
// - Quotes and comments are recognised before the terminator, so a
//   terminator that starts like one of them is never found.
// - isql's own commands (and their abbreviations) are never kSql: those that
//   change what the database sees are kCommand or kSetBail, display-only ones
//   kSkipped, those a run cannot honour kRefused.
class IsqlSplitter final : public StatementSource {
 public:
  explicit IsqlSplitter(std::string_view script);
  // The next piece, or false at the end. Never throws except std::bad_alloc.
  bool Next(ScriptStatement* out) override;

 private:
  void SetTerminator(std::string_view terminator);
  std::size_t SkipBlanksAndComments(std::size_t pos) const;
  // Past the literal, quoted name or comment that starts at pos, or pos
  // itself when none does.
  std::size_t SkipQuotedOrComment(std::size_t pos) const;
  bool TerminatorAt(std::size_t pos) const;
  // 0-based index of the line holding the character at pos; pos never
  // decreases from one call to the next.
  int LineAt(std::size_t pos);

  std::string_view script_;
  std::size_t pos_ = 0;
  std::string_view terminator_;
  // Per byte: what the scan has to look at (see IsqlSplitter.cpp).
  unsigned char classes_[256] = {};
  std::size_t counted_to_ = 0;
  long long lines_before_ = 0;
};

}  // namespace tolvane
