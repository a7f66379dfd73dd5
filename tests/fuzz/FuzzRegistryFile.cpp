// The registry-file parser on any bytes. Checked against the format's rules:
// stored lines and section names are trimmed, never empty, never comments
// and never hold a break; "name=value" lines have both sides trimmed; a NUL
// ends the text; the section read by name is the last one of that name, with
// its lines in file order.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "connection/RegistryFileParser.h"
#include "runtime/Text.h"

namespace {

bool HoldsBreak(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool IsTrimmed(std::string_view text) { return tolvane::Trim(text) == text; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tolvane::testing::fuzz::Escaped;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string where = "file " + Escaped(text);
  const std::vector<tolvane::RegistrySection> sections = tolvane::ParseRegistryFile(text);

  for (const auto& section : sections) {
    FUZZ_CHECK(IsTrimmed(section.name) && !HoldsBreak(section.name), where);
    for (const std::string& line : section.lines) {
      FUZZ_CHECK(!line.empty() && line.front() != ';' && !HoldsBreak(line), where);
      FUZZ_CHECK(IsTrimmed(line), where + " line " + Escaped(line));
      FUZZ_CHECK(!(line.front() == '[' && line.back() == ']'), where + " line " + Escaped(line));
      const std::size_t eq = line.find('=');
      if (eq != std::string::npos) {
        FUZZ_CHECK(IsTrimmed(std::string_view(line).substr(0, eq)), where + " line " + Escaped(line));
        FUZZ_CHECK(IsTrimmed(std::string_view(line).substr(eq + 1)), where + " line " + Escaped(line));
      }
    }
  }

  // What follows a NUL is never read.
  std::string longer(text);
  longer.append(1, '\0').append("[x]\nk=v\n");
  FUZZ_CHECK(tolvane::ParseRegistryFile(longer).size() == sections.size(), where);

  // Reading by name: the last section of that name, in any letter case.
  // A few names are enough; each read parses the whole text again.
  for (std::size_t n = 0; n < sections.size() && n < 8; ++n) {
    const auto& section = sections[n];
    const std::string asked = tolvane::LowerAscii(section.name);
    const tolvane::RegistrySection* last = nullptr;
    for (const auto& candidate : sections)
      if (tolvane::SameTextAscii(candidate.name, asked)) last = &candidate;
    const tolvane::TStringList lines = tolvane::RegistrySectionLines(text, asked);
    FUZZ_CHECK(last != nullptr && lines.Lines() == last->lines, where + " section " + Escaped(asked));
  }
  return 0;
}
