// JSON string literals from byte strings. The system passes text on as bytes
// in no particular character set; a report must stay valid JSON whatever
// they hold, so bytes that are not well-formed UTF-8 are written as \u00XX
// (the byte's value as a code point) and control characters are escaped.
#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// Appends "..." with bytes escaped as above.
void AppendJsonString(std::string& out, std::string_view bytes);

// Appends "name":"value" and "name":number, the members every report and log
// line is made of.
void AppendJsonField(std::string& out, std::string_view name, std::string_view value);
void AppendJsonField(std::string& out, std::string_view name, long long value);

}  // namespace tolvane
