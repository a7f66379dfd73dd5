#include "connection/RegistryFileParser.h"

#include "runtime/LineSplitting.h"
#include "runtime/Text.h"

namespace tolvane {
namespace {

// "[...]" with at least the two brackets; a lone "[" is an ordinary line.
bool IsSectionHeader(std::string_view line) {
  return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

std::string StoredLine(std::string_view line) {
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::string(line);
  std::string stored = Trim(line.substr(0, eq));
  stored += '=';
  stored += Trim(line.substr(eq + 1));
  return stored;
}

}  // namespace

std::vector<RegistrySection> ParseRegistryFile(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<RegistrySection> sections;
  SplitLines(text, [&sections](std::string_view raw) {
    std::string line = Trim(raw);
    if (line.empty() || line.front() == ';') return;
    if (IsSectionHeader(line)) {
      sections.push_back({Trim(std::string_view(line).substr(1, line.size() - 2)), {}});
      return;
    }
    if (!sections.empty()) sections.back().lines.push_back(StoredLine(line));
  });
  return sections;
}

TStringList RegistrySectionLines(std::string_view text, std::string_view section) {
  TStringList result;
  std::vector<RegistrySection> sections = ParseRegistryFile(text);
  for (auto it = sections.rbegin(); it != sections.rend(); ++it) {
    if (!SameTextAscii(it->name, section)) continue;
    for (std::string& line : it->lines) result.Add(std::move(line));
    break;
  }
  return result;
}

}  // namespace tolvane
