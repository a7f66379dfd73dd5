// TStringList: an ordered, unsorted list of text lines that accepts
// duplicates. Used for script lines, failure files, Params and login values.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

class Platform;

class TStringList {
 public:
  int Count() const { return static_cast<int>(lines_.size()); }
  const std::string& Strings(int index) const { return lines_[static_cast<size_t>(index)]; }
  const std::vector<std::string>& Lines() const { return lines_; }

  void Add(std::string line) { lines_.push_back(std::move(line)); }
  void Delete(int index) { lines_.erase(lines_.begin() + index); }
  void Clear() { lines_.clear(); }

  // Clears the list, then appends copies of the other list's lines in order.
  void Assign(const TStringList& other);

  // Batched updates. The list has no observers, so these only nest.
  void BeginUpdate() { ++update_count_; }
  void EndUpdate() { --update_count_; }

  // Fills the list from a text: the list is emptied, then a line runs up to
  // the next CR, LF or the end; after a line one CR and then one LF are
  // skipped. A break at the very end adds no empty line. Nothing is trimmed.
  void SetText(std::string_view text);

  // Every line followed by CR LF.
  std::string Text() const;

  // The first line equal to line, letter case of ASCII letters ignored; -1 if none.
  int IndexOf(std::string_view line) const;

  // Name=Value operations. A line matches name when it contains "=" and its
  // text before the first "=" equals name, ASCII case ignored; nothing is
  // trimmed. Only the first match is ever read or touched.
  int IndexOfName(std::string_view name) const;
  // Everything after the first "=" of the first match; empty without one.
  std::string Values(std::string_view name) const;
  // A non-empty value replaces the first match in place (spelled as name is
  // given here) or appends a line; an empty value deletes the first match.
  void SetValue(std::string_view name, std::string_view value);

  // The text before the first "=" of a line; empty when it has none.
  static std::string_view NameOf(std::string_view line);

  // Writes every line followed by CR LF to a new or replaced file; raises
  // EFCreateError or EWriteError.
  void SaveToFile(Platform& platform, const std::string& path) const;

 private:
  std::vector<std::string> lines_;
  int update_count_ = 0;
};

}  // namespace tolvane
