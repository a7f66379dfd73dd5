// Models of the script rules, written straight from their wording, that the
// fuzz targets hold the real code against.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolvane::testing::fuzz {

// A line ends at CR, LF or CR LF; LF CR is two breaks; a break at the very
// end adds no empty line.
inline std::vector<std::string> ModelLines(std::string_view text) {
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
inline bool ModelIsSelect(std::string_view line) {
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

}  // namespace tolvane::testing::fuzz
