#include "runtime/Conversions.h"

#include "runtime/Exceptions.h"
#include "runtime/Messages.h"
#include "runtime/Text.h"

namespace tolvane {
namespace {

int DigitValue(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v < base ? v : -1;
}

}  // namespace

bool TryStrToInt(std::string_view text, std::int32_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  // Accumulate in 64 bits; hexadecimal may spell the full 32-bit pattern
  // ($FFFFFFFF is -1), decimal must stay within the signed range.
  std::uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    int d = DigitValue(text[i], base);
    if (d < 0) return false;
    magnitude = magnitude * base + static_cast<unsigned>(d);
    if (magnitude > 0xFFFFFFFFull) return false;
  }
  std::int64_t result;
  if (base == 16 && magnitude > 0x7FFFFFFFull) {
    result = static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
    if (negative) result = -result;
  } else {
    result = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
  }
  if (result < INT32_MIN || result > INT32_MAX) return false;
  value = static_cast<std::int32_t>(result);
  return true;
}

std::int32_t StrToInt(std::string_view text) {
  std::int32_t value = 0;
  if (!TryStrToInt(text, value)) throw EConvertError(Format(kSInvalidInteger, {text}));
  return value;
}

bool IsTrueFlag(std::string_view value) { return UpperAscii(Trim(value)) == "TRUE"; }

}  // namespace tolvane
