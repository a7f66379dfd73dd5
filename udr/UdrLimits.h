// Byte lengths of the UDR function's text arguments; the declaration in
// sql/udftolvane_udr.sql must use the same numbers (CHARACTER SET NONE, so
// that one character is one byte and paths pass unconverted).
#pragma once

namespace tolvane {

inline constexpr unsigned kUdrPathBytes = 1024;
inline constexpr unsigned kUdrResultBytes = 32000;

}  // namespace tolvane
