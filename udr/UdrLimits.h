// Byte lengths of the UDR routines' text arguments and columns; the
// declarations in sql/udftolvane_udr.sql must use the same numbers
// (CHARACTER SET NONE, so that one character is one byte and paths pass
// unconverted).
#pragma once

namespace tolvane {

inline constexpr unsigned kUdrPathBytes = 1024;
inline constexpr unsigned kUdrResultBytes = 32000;
// TOLVANE_RUN's options text, STATUS and MESSAGE columns.
inline constexpr unsigned kUdrOptionsBytes = 1024;
inline constexpr unsigned kUdrStatusBytes = 16;
inline constexpr unsigned kUdrMessageBytes = 8000;

}  // namespace tolvane
