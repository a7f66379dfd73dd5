// Byte-string helpers. Text is passed on as the bytes it is: no character
// conversion happens anywhere; case rules touch the ASCII letters only.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace tolvane {

// Removes every leading and trailing character whose code is 0 to 32.
std::string Trim(std::string_view text);

std::string UpperAscii(std::string_view text);
std::string LowerAscii(std::string_view text);

// Equal when the texts differ at most in the case of ASCII letters.
bool SameTextAscii(std::string_view a, std::string_view b);

// Fills each "%s" of format with the next argument, in order. A "%s" without
// an argument left stays as it is; other characters are copied unchanged.
std::string Format(std::string_view format, std::initializer_list<std::string_view> args);

}  // namespace tolvane
