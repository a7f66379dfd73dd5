// The format of the driver and connection registry files, as a pure function
// over a text: no file access, no state, so any byte sequence can be fed in.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/StringList.h"

namespace tolvane {

// One "[name]" section and the lines stored under it, in file order.
struct RegistrySection {
  std::string name;
  std::vector<std::string> lines;
};

// Every section of text, in file order, same-named ones kept apart.
// The text ends at its first NUL; lines break at CR, LF or CR LF and are
// trimmed of codes 0..32; empty lines and lines starting with ";" are
// skipped, as is everything before the first section. A line with "=" is
// stored as trimmed name, "=", trimmed value; any other line as it stands.
std::vector<RegistrySection> ParseRegistryFile(std::string_view text);

// The lines of the last section of text named section (ASCII case ignored);
// none when there is no such section. Sections are never merged.
TStringList RegistrySectionLines(std::string_view text, std::string_view section);

}  // namespace tolvane
