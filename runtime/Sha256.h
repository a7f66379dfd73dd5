// SHA-256 of a byte string: how a script is recognised again (the history of
// applied scripts keeps it), whatever its size.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tolvane {

class Sha256 {
 public:
  Sha256();
  void Update(std::string_view bytes);
  // The digest of everything updated so far; the object is spent after it.
  std::array<std::uint8_t, 32> Finish();

 private:
  void Block(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t length_ = 0;  // bytes
};

// The digest of bytes as 64 lowercase hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

}  // namespace tolvane
