// Windows has no fnmatch: the same rules, with both separators and letters
// compared without case, as the file system compares names.
#include <cctype>
#include <string_view>

#include "runtime/PathPattern.h"

namespace tolvane {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

char Folded(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool SameChar(char a, char b) {
  return (IsSeparator(a) && IsSeparator(b)) || Folded(a) == Folded(b);
}

// Matches c against the set at pattern[i] ("[" already passed); *next is
// where the pattern goes on. False with *next == npos for an unclosed set,
// which then stands for a plain '['.
bool InSet(std::string_view pattern, std::size_t i, char c, std::size_t* next) {
  const bool negated = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
  if (negated) ++i;
  bool found = false;
  bool first = true;
  for (; i < pattern.size() && (first || pattern[i] != ']'); ++i, first = false) {
    char low = pattern[i];
    char high = low;
    if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
      high = pattern[i + 2];
      i += 2;
    }
    const char folded = Folded(c);
    if ((Folded(low) <= folded && folded <= Folded(high)) || (low <= c && c <= high)) found = true;
  }
  if (i >= pattern.size()) {
    *next = std::string_view::npos;
    return false;
  }
  *next = i + 1;
  return found != negated && !IsSeparator(c);
}

bool Match(std::string_view pattern, std::string_view path) {
  std::size_t p = 0;
  std::size_t s = 0;
  // Where the last '*' was, to retry from when a later part fails.
  std::size_t star = std::string_view::npos;
  std::size_t star_s = 0;
  while (s < path.size()) {
    if (p < pattern.size()) {
      const char c = pattern[p];
      if (c == '*') {
        star = ++p;
        star_s = s;
        continue;
      }
      if (c == '?' && !IsSeparator(path[s])) {
        ++p;
        ++s;
        continue;
      }
      if (c == '[') {
        std::size_t next = 0;
        if (InSet(pattern, p + 1, path[s], &next)) {
          p = next;
          ++s;
          continue;
        }
        if (next == std::string_view::npos && path[s] == '[') {
          ++p;
          ++s;
          continue;
        }
      } else if (c != '?' && SameChar(c, path[s])) {
        ++p;
        ++s;
        continue;
      }
    }
    // A '*' takes one more character, never a separator.
    if (star == std::string_view::npos || IsSeparator(path[star_s])) return false;
    p = star;
    s = ++star_s;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool PathMatchesPattern(const std::string& pattern, const std::string& path) {
  return Match(pattern, path);
}

}  // namespace tolvane
