// Line splitting of a script against a model written straight from the
// rule: a line ends at CR, LF or CR LF; LF CR is two breaks; a break at the
// very end adds no empty line. Also: the written form of a list splits back
// into the same lines, as a failure file read back would.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
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
  return 0;
}
