// The system's rule for cutting a text into lines, shared by the string list
// and the script runner so that both see the same lines.
#pragma once

#include <string_view>

namespace tolvane {

// Calls on_line(std::string_view) for each line of text, in order. A line
// runs up to the next CR, LF or the end and is passed without its break, also
// when it is empty; after a line one CR and then one LF are skipped, so CR LF,
// a lone CR and a lone LF each end one line while LF CR ends a line and then
// an empty one. A break at the very end adds no empty line; an empty text has
// no lines. Nothing is trimmed.
template <class OnLine>
void SplitLines(std::string_view text, OnLine&& on_line) {
  std::size_t pos = 0;
  const std::size_t n = text.size();
  while (pos < n) {
    std::size_t end = pos;
    while (end < n && text[end] != '\r' && text[end] != '\n') ++end;
    on_line(text.substr(pos, end - pos));
    pos = end;
    if (pos < n && text[pos] == '\r') ++pos;
    if (pos < n && text[pos] == '\n') ++pos;
  }
}

}  // namespace tolvane
