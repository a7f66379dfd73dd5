// What every fuzz target shares: a check that stops the run on the first
// broken property, so libFuzzer keeps the input and the corpus replay fails.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace tolvane::testing::fuzz {

[[noreturn]] inline void CheckFailed(const char* condition, const char* file, int line,
                                     const std::string& detail) {
  std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, condition);
  if (!detail.empty()) std::fprintf(stderr, "  %s\n", detail.c_str());
  std::abort();
}

// Printable form of a byte string for failure messages.
inline std::string Escaped(std::string_view text) {
  static const char* hex = "0123456789abcdef";
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c >= 32 && c < 127 && c != '\\' && c != '"') {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out + "\"";
}

// Reads the input front to back; past the end every read gives zero.
class InputReader {
 public:
  InputReader(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
  bool Empty() const { return pos_ >= size_; }
  unsigned char Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  // A short text of up to max_length bytes, its length taken from the input.
  std::string Text(std::size_t max_length) {
    std::size_t length = Byte() % (max_length + 1);
    std::string text;
    while (length-- > 0 && !Empty()) text += static_cast<char>(Byte());
    return text;
  }
  std::string_view Rest() {
    std::string_view rest(reinterpret_cast<const char*>(data_) + pos_, size_ - pos_);
    pos_ = size_;
    return rest;
  }

 private:
  const unsigned char* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace tolvane::testing::fuzz

#define FUZZ_CHECK(condition, detail)                                            \
  do {                                                                           \
    if (!(condition)) ::tolvane::testing::fuzz::CheckFailed(#condition, __FILE__, __LINE__, (detail)); \
  } while (0)
