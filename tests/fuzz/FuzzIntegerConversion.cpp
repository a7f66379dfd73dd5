// Integer conversion against the rule: an optional sign and decimal digits
// within the signed 32-bit range, or hexadecimal digits after "$", "x" or
// "0x"; everything else is refused, and StrToInt raises exactly then, with
// the text in its message.
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "runtime/Conversions.h"
#include "runtime/Exceptions.h"

namespace {

int Digit(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v < base ? v : -1;
}

struct Parsed {
  bool well_formed = false;  // sign, prefix and at least one digit, nothing else
  bool hexadecimal = false;
  bool negative = false;
  bool huge = false;              // more than 64 bits of magnitude
  unsigned __int128 magnitude = 0;
};

Parsed Parse(std::string_view text) {
  Parsed p;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) p.negative = text[i++] == '-';
  int base = 10;
  if (text.substr(i, 2) == "0x" || text.substr(i, 2) == "0X") {
    base = 16;
    i += 2;
  } else if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  }
  p.hexadecimal = base == 16;
  if (i >= text.size()) return p;
  for (; i < text.size(); ++i) {
    const int d = Digit(text[i], base);
    if (d < 0) return p;
    if (p.magnitude > (static_cast<unsigned __int128>(1) << 64)) p.huge = true;
    else p.magnitude = p.magnitude * base + d;
  }
  p.well_formed = true;
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tolvane::testing::fuzz::Escaped;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::int32_t value = 12345;
  const bool accepted = tolvane::TryStrToInt(text, value);
  const Parsed p = Parse(text);
  const std::string where = "text " + Escaped(text) + " value " + std::to_string(value);

  if (!p.well_formed) FUZZ_CHECK(!accepted, where);
  if (p.well_formed && !p.huge) {
    const __int128 signed_magnitude =
        p.negative ? -static_cast<__int128>(p.magnitude) : static_cast<__int128>(p.magnitude);
    if (!p.hexadecimal) {
      // Decimal: exactly the values of the signed 32-bit range.
      const bool in_range = signed_magnitude >= INT32_MIN && signed_magnitude <= INT32_MAX;
      FUZZ_CHECK(accepted == in_range, where);
      if (accepted) FUZZ_CHECK(value == static_cast<std::int32_t>(signed_magnitude), where);
    } else {
      // Hexadecimal: every value of the signed range is taken; beyond it,
      // whatever is taken must at least be the same 32-bit pattern.
      if (p.magnitude <= 0x7FFFFFFF) FUZZ_CHECK(accepted, where);
      if (p.magnitude > 0xFFFFFFFFu) FUZZ_CHECK(!accepted, where);
      if (accepted) {
        const std::uint32_t bits = static_cast<std::uint32_t>(p.magnitude);
        const std::uint32_t expected = p.negative ? 0u - bits : bits;
        FUZZ_CHECK(static_cast<std::uint32_t>(value) == expected, where);
      }
    }
  }
  if (p.huge) FUZZ_CHECK(!accepted, where);

  try {
    const std::int32_t converted = tolvane::StrToInt(text);
    FUZZ_CHECK(accepted && converted == value, where);
  } catch (const tolvane::EConvertError& e) {
    FUZZ_CHECK(!accepted, where);
    FUZZ_CHECK(e.Message() == "'" + std::string(text) + "' is not a valid integer value",
               where + " message " + Escaped(e.Message()));
  }
  return 0;
}
