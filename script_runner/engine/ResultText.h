// The text a run that breaks off returns.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvane {

// The longest result both declarations can hand to the caller: the legacy
// function's CSTRING(32000) keeps one byte for its terminator, the UDR
// function's VARCHAR(32000) takes the same, so both give the same text.
inline constexpr std::size_t kResultTextMaxBytes = 31999;

// message, "   -    ", statement; cut to kResultTextMaxBytes by cutting the
// statement first, so that the failure's own message survives.
std::string ComposeResultText(std::string_view message, std::string_view statement);

}  // namespace tolvane
