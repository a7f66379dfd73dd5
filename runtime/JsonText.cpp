#include "runtime/JsonText.h"

#include <cstdint>

namespace tolvane {
namespace {

// Length of the well-formed UTF-8 sequence starting at text[0], or 0.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(0);
  std::size_t length = 0;
  std::uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return length;
}

void AppendEscape(std::string& out, std::uint8_t value) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u00";
  out += kHex[value >> 4];
  out += kHex[value & 0x0F];
}

}  // namespace

// Bytes that stand for themselves in a JSON string.
static bool IsPlain(std::uint8_t c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; }

void AppendJsonString(std::string& out, std::string_view bytes) {
  out.reserve(out.size() + bytes.size() + 2);
  out += '"';
  std::size_t i = 0;
  while (i < bytes.size()) {
    // A run of plain bytes goes in one piece: a statement is mostly that.
    std::size_t end = i;
    while (end < bytes.size() && IsPlain(static_cast<std::uint8_t>(bytes[end]))) ++end;
    out.append(bytes.data() + i, end - i);
    i = end;
    if (i == bytes.size()) break;
    const auto c = static_cast<std::uint8_t>(bytes[i]);
    if (c >= 0x80) {
      const std::size_t length = Utf8SequenceLength(bytes.substr(i));
      if (length == 0) {
        AppendEscape(out, c);
        ++i;
      } else {
        out.append(bytes.substr(i, length));
        i += length;
      }
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: AppendEscape(out, c);
    }
    ++i;
  }
  out += '"';
}

void AppendJsonField(std::string& out, std::string_view name, std::string_view value) {
  out += '"';
  out += name;
  out += "\":";
  AppendJsonString(out, value);
}

void AppendJsonField(std::string& out, std::string_view name, long long value) {
  out += '"';
  out += name;
  out += "\":";
  out += std::to_string(value);
}

}  // namespace tolvane
