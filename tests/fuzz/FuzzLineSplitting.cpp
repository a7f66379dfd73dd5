// Line splitting of a script against a model written straight from the
// rule: a line ends at CR, LF or CR LF; LF CR is two breaks; a break at the
// very end adds no empty line. Also: the written form of a list splits back
// into the same lines, as a failure file read back would. Each line is then
// classified as the statement loop would see it, against the same kind of
// model.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "connection/StatementClassification.h"
#include "runtime/StringList.h"

namespace {

std::vector<std::string> ModelLines(std::string_view text) {
  std::vector<std::string> lines;
  std::string current;
  bool open = false;  // bytes seen since the last break
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(current);
      current.clear();
      open = false;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      current += c;
      open = true;
    }
  }
  if (open) lines.push_back(current);
  return lines;
}

// The first token, after blanks, CR, LF, "(" and ",", is SELECT in any case.
bool ModelIsSelect(std::string_view line) {
  const std::string_view separators(" \r\n(,", 5);
  std::size_t begin = line.find_first_not_of(separators);
  if (begin == std::string_view::npos) return false;
  std::size_t end = line.find_first_of(separators, begin);
  std::string_view token = line.substr(begin, end == std::string_view::npos ? end : end - begin);
  if (token.size() != 6) return false;
  for (std::size_t i = 0; i < 6; ++i) {
    char c = token[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != "SELECT"[i]) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  tolvane::TStringList list;
  list.Add("left over");
  list.SetText(text);

  const std::vector<std::string> expected = ModelLines(text);
  FUZZ_CHECK(list.Lines() == expected, "text " + tolvane::fuzz::Escaped(text));

  tolvane::TStringList again;
  again.SetText(list.Text());
  FUZZ_CHECK(again.Lines() == list.Lines(), "round trip of " + tolvane::fuzz::Escaped(text));
  for (const std::string& line : list.Lines())
    FUZZ_CHECK(tolvane::IsSelectStatement(line) == ModelIsSelect(line),
               "classification of " + tolvane::fuzz::Escaped(line));
  // The whole text as one statement, breaks and all.
  FUZZ_CHECK(tolvane::IsSelectStatement(text) == ModelIsSelect(text),
             "classification of " + tolvane::fuzz::Escaped(text));
  return 0;
}
