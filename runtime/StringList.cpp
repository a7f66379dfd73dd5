#include "runtime/StringList.h"

#include "runtime/FileWriter.h"
#include "runtime/LineSplitting.h"
#include "runtime/Text.h"

namespace tolvane {

void TStringList::Assign(const TStringList& other) {
  if (this == &other) return;
  lines_ = other.lines_;
}

void TStringList::SetText(std::string_view text) {
  lines_.clear();
  SplitLines(text, [this](std::string_view line) { lines_.emplace_back(line); });
}

std::string TStringList::Text() const {
  std::string text;
  size_t total = 0;
  for (const auto& line : lines_) total += line.size() + 2;
  text.reserve(total);
  for (const auto& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

int TStringList::IndexOf(std::string_view line) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (SameTextAscii(lines_[i], line)) return static_cast<int>(i);
  }
  return -1;
}

std::string_view TStringList::NameOf(std::string_view line) {
  size_t eq = line.find('=');
  return eq == std::string_view::npos ? std::string_view() : line.substr(0, eq);
}

int TStringList::IndexOfName(std::string_view name) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    const std::string& line = lines_[i];
    size_t eq = line.find('=');
    if (eq != std::string::npos && SameTextAscii(std::string_view(line).substr(0, eq), name))
      return static_cast<int>(i);
  }
  return -1;
}

std::string TStringList::Values(std::string_view name) const {
  int index = IndexOfName(name);
  if (index < 0) return std::string();
  const std::string& line = lines_[static_cast<size_t>(index)];
  return line.substr(line.find('=') + 1);
}

void TStringList::SetValue(std::string_view name, std::string_view value) {
  int index = IndexOfName(name);
  if (value.empty()) {
    if (index >= 0) Delete(index);
    return;
  }
  std::string line;
  line.reserve(name.size() + 1 + value.size());
  line.append(name).append("=").append(value);
  if (index >= 0)
    lines_[static_cast<size_t>(index)] = std::move(line);
  else
    lines_.push_back(std::move(line));
}

void TStringList::SaveToFile(Platform& platform, const std::string& path) const {
  WriteWholeFile(platform, path, Text());
}

}  // namespace tolvane
