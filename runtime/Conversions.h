// Conversions of parameter values.
#pragma once

#include <cstdint>
#include <string_view>

namespace tolvane {

// A signed 32-bit integer from an optional sign and decimal digits, or
// hexadecimal digits after "$", "x" or "0x". Any other text, the empty text
// and values out of range included, raises EConvertError with
// "'%s' is not a valid integer value", the text in place of %s.
std::int32_t StrToInt(std::string_view text);

// Like StrToInt, but gives false instead of raising.
bool TryStrToInt(std::string_view text, std::int32_t& value);

// True exactly when the value, trimmed and in capitals, equals "TRUE".
bool IsTrueFlag(std::string_view value);

}  // namespace tolvane
