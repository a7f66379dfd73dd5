// The isql splitter over any bytes: every piece is a view into the script, in
// order; what lies between pieces is only blanks, comments and terminators
// (so pieces, terminators, comments and SET TERM commands give back all of
// the script's non-blank content); line numbers are those the line rule
// gives; SET TERM's new terminator is the one looked for afterwards.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "runtime/LineSplitting.h"
#include "script_runner/scripts/IsqlSplitter.h"

namespace {

using tolvane::ScriptStatement;
using tolvane::testing::fuzz::Escaped;

bool Blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool NameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$';
}

bool StartsWithWord(std::string_view text, std::size_t& pos, std::string_view word) {
  if (text.size() - pos < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = text[pos + i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != word[i]) return false;
  }
  if (pos + word.size() < text.size() && NameChar(text[pos + word.size()])) return false;
  pos += word.size();
  return true;
}

// SET TERM's new terminator as isql reads the command; a SET TERM with
// none after it makes ";" the terminator again; empty: not a SET TERM.
std::string_view ModelNewTerminator(std::string_view text) {
  std::size_t pos = 0;
  auto blanks = [&] {
    while (pos < text.size() && Blank(text[pos])) ++pos;
  };
  blanks();
  if (!StartsWithWord(text, pos, "SET")) return {};
  blanks();
  // TERM to TERMINATOR, any abbreviation of four letters or more.
  std::size_t word = 0;
  while (pos + word < text.size() && NameChar(text[pos + word])) ++word;
  constexpr std::string_view kTerminator = "TERMINATOR";
  if (word < 4 || word > kTerminator.size()) return {};
  for (std::size_t i = 0; i < word; ++i) {
    char c = text[pos + i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != kTerminator[i]) return {};
  }
  pos += word;
  blanks();
  const std::size_t start = pos;
  while (pos < text.size() && !Blank(text[pos])) ++pos;
  if (pos == start) return ";";
  return text.substr(start, pos - start);
}

// 0-based line of every byte that is not a break, by the system's line rule.
std::vector<int> ModelLineOfEachByte(std::string_view script) {
  std::vector<int> line_of(script.size(), -1);
  int index = 0;
  tolvane::SplitLines(script, [&](std::string_view line) {
    const auto offset = static_cast<std::size_t>(line.data() - script.data());
    std::fill(line_of.begin() + static_cast<long>(offset), line_of.begin() + static_cast<long>(offset + line.size()),
              index++);
  });
  return line_of;
}

// Checks that gap holds only blanks, comments and terminators. After a SET
// TERM command the first terminator is the old one, then the new one counts.
void CheckGap(std::string_view script, std::string_view gap, std::string_view& terminator,
              std::string_view pending_terminator) {
  std::size_t pos = 0;
  bool first = true;
  while (pos < gap.size()) {
    const std::string_view rest = gap.substr(pos);
    if (Blank(rest[0])) {
      ++pos;
    } else if (rest.substr(0, 2) == "--") {
      // As isql: only a line feed ends it, a lone carriage return does not.
      const std::size_t end = rest.find('\n');
      pos += end == std::string_view::npos ? rest.size() : end;
    } else if (rest.substr(0, 2) == "/*") {
      const std::size_t end = rest.find("*/", 2);
      FUZZ_CHECK(end != std::string_view::npos || pos + rest.size() == gap.size(),
                 "open comment inside " + Escaped(script));
      pos += end == std::string_view::npos ? rest.size() : end + 2;
    } else {
      FUZZ_CHECK(rest.substr(0, terminator.size()) == terminator,
                 "code " + Escaped(rest) + " left out of the pieces of " + Escaped(script) +
                     " (terminator " + Escaped(terminator) + ")");
      pos += terminator.size();
      if (first && !pending_terminator.empty()) terminator = pending_terminator;
      first = false;
    }
    // A SET TERM at the very end has no terminator after it.
  }
  if (!pending_terminator.empty()) terminator = pending_terminator;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view script(reinterpret_cast<const char*>(data), size);
  tolvane::IsqlSplitter splitter(script);
  ScriptStatement piece;
  const std::vector<int> line_of = ModelLineOfEachByte(script);
  std::string_view terminator = ";";
  std::string_view pending;  // the new terminator of the last piece, if SET TERM
  std::size_t done = 0;      // end of the last piece
  int pieces = 0;
  while (splitter.Next(&piece)) {
    FUZZ_CHECK(++pieces <= static_cast<int>(size), "more pieces than bytes in " + Escaped(script));
    const std::string_view text = piece.text;
    FUZZ_CHECK(!text.empty() && text.data() >= script.data() + done &&
                   text.data() + text.size() <= script.data() + script.size(),
               "piece " + Escaped(text) + " is not a view after the last one in " + Escaped(script));
    const std::size_t start = static_cast<std::size_t>(text.data() - script.data());
    const std::size_t end = start + text.size();
    FUZZ_CHECK(!Blank(text.front()) && text.substr(0, 2) != "--" && text.substr(0, 2) != "/*",
               "piece " + Escaped(text) + " starts with a blank or comment");
    FUZZ_CHECK(!Blank(text.back()), "piece " + Escaped(text) + " ends with a blank");

    CheckGap(script, script.substr(done, start - done), terminator, pending);
    done = end;

    FUZZ_CHECK(piece.index == line_of[start] && piece.first_line == piece.index + 1 &&
                   piece.last_line == line_of[end - 1] + 1,
               "lines of " + Escaped(text) + " in " + Escaped(script));
    const bool handled = piece.kind == ScriptStatement::Kind::kSkipped ||
                         piece.kind == ScriptStatement::Kind::kRefused;
    FUZZ_CHECK(handled == !piece.reason.empty(), "reason of " + Escaped(text));

    pending = piece.kind == ScriptStatement::Kind::kSkipped ? ModelNewTerminator(text) : std::string_view();
  }
  CheckGap(script, script.substr(done), terminator, pending);
  FUZZ_CHECK(!splitter.Next(&piece), "a piece after the end of " + Escaped(script));
  return 0;
}
