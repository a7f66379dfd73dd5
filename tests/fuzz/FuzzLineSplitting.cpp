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
#include "FuzzModels.h"
#include "connection/StatementClassification.h"
#include "runtime/StringList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  tolvane::TStringList list;
  list.Add("left over");
  list.SetText(text);

  const std::vector<std::string> expected = tolvane::testing::fuzz::ModelLines(text);
  FUZZ_CHECK(list.Lines() == expected, "text " + tolvane::testing::fuzz::Escaped(text));

  tolvane::TStringList again;
  again.SetText(list.Text());
  FUZZ_CHECK(again.Lines() == list.Lines(), "round trip of " + tolvane::testing::fuzz::Escaped(text));
  for (const std::string& line : list.Lines())
    FUZZ_CHECK(tolvane::IsSelectStatement(line) == tolvane::testing::fuzz::ModelIsSelect(line),
               "classification of " + tolvane::testing::fuzz::Escaped(line));
  // The whole text as one statement, breaks and all.
  FUZZ_CHECK(tolvane::IsSelectStatement(text) == tolvane::testing::fuzz::ModelIsSelect(text),
             "classification of " + tolvane::testing::fuzz::Escaped(text));
  return 0;
}
