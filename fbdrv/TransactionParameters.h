// The transaction parameter block every statement's transaction starts with.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "fbdrv/ConnectionOptions.h"

namespace tolvane::fbdrv {

class TransactionParameters {
 public:
  // lock_timeout: seconds, 0 = wait without a limit; ignored for no wait.
  TransactionParameters(const ConnectionOptions& options, int lock_timeout) noexcept
      : TransactionParameters(options, lock_timeout, options.isolation) {}
  // With another isolation than the connection's.
  TransactionParameters(const ConnectionOptions& options, int lock_timeout,
                        Isolation isolation) noexcept;

  const unsigned char* Data() const noexcept { return bytes_.data(); }
  unsigned Length() const noexcept { return static_cast<unsigned>(length_); }

 private:
  void Add(unsigned char byte) noexcept { bytes_[length_++] = byte; }

  std::array<unsigned char, 16> bytes_{};
  std::size_t length_ = 0;
};

}  // namespace tolvane::fbdrv
