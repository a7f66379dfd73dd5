// The parameter list under a sequence of operations decoded from the input,
// checked after every step against a plain model of the Name=Value rules:
// first line whose text before its first "=" equals the name (ASCII case
// ignored) is the match; a non-empty value replaces it in place or appends;
// an empty value deletes it; lines without "=" never match.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "runtime/StringList.h"

namespace {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

class ModelList {
 public:
  int Find(std::string_view name) const {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::size_t eq = lines[i].find('=');
      if (eq != std::string::npos && SameName(std::string_view(lines[i]).substr(0, eq), name))
        return static_cast<int>(i);
    }
    return -1;
  }
  std::string Value(std::string_view name) const {
    const int i = Find(name);
    return i < 0 ? std::string() : lines[i].substr(lines[i].find('=') + 1);
  }
  void Set(std::string_view name, std::string_view value) {
    const int i = Find(name);
    if (value.empty()) {
      if (i >= 0) lines.erase(lines.begin() + i);
    } else if (i >= 0) {
      lines[i] = std::string(name) + "=" + std::string(value);
    } else {
      lines.push_back(std::string(name) + "=" + std::string(value));
    }
  }
  std::vector<std::string> lines;
};

// Names and values from a small alphabet, so that matches, case variants,
// blanks around names and "=" inside values come up often.
std::string SmallText(tolvane::testing::fuzz::InputReader& in, std::size_t max_length) {
  static const char alphabet[] = "aAbB= \t\r\nx\xe9";
  const std::size_t length = in.Byte() % (max_length + 1);
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text += alphabet[in.Byte() % (sizeof alphabet - 1)];
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tolvane::testing::fuzz::InputReader in(data, size);
  tolvane::TStringList list;
  ModelList model;
  std::string trail;  // the operations so far, for the failure message
  int steps = 0;
  while (!in.Empty() && steps++ < 200) {
    const int op = in.Byte() % 6;
    const std::string name = SmallText(in, 4);
    switch (op) {
      case 0:
      case 1: {
        const std::string value = SmallText(in, 4);
        list.SetValue(name, value);
        model.Set(name, value);
        trail += "set " + tolvane::testing::fuzz::Escaped(name) + "=" + tolvane::testing::fuzz::Escaped(value) + "; ";
        break;
      }
      case 2: {
        const std::string line = SmallText(in, 6);
        list.Add(line);
        model.lines.push_back(line);
        trail += "add " + tolvane::testing::fuzz::Escaped(line) + "; ";
        break;
      }
      case 3:
        if (!model.lines.empty()) {
          const int index = in.Byte() % static_cast<int>(model.lines.size());
          list.Delete(index);
          model.lines.erase(model.lines.begin() + index);
          trail += "delete " + std::to_string(index) + "; ";
        }
        break;
      case 4:
        FUZZ_CHECK(list.IndexOfName(name) == model.Find(name), trail + "index of " + name);
        break;
      case 5:
        FUZZ_CHECK(list.Values(name) == model.Value(name), trail + "value of " + name);
        break;
    }
    FUZZ_CHECK(list.Lines() == model.lines, trail);
  }
  return 0;
}
