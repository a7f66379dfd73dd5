// Whole numbers of seconds given to the server process in its environment.
#pragma once

namespace tolvane::fbdrv {

// A whole number of seconds, 0 included; absent, empty or not a number gives
// `fallback`, more than `most` gives `most`.
int ParseSeconds(const char* value, int fallback, int most) noexcept;

}  // namespace tolvane::fbdrv
