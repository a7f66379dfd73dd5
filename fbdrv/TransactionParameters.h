// The transaction parameter block every statement's transaction starts with.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "fbdrv/ConnectionOptions.h"

namespace tolvane::fbdrv {

// Seconds a waiting statement waits for a lock before it fails. A statement
// can wait on a lock held by its own caller's transaction, which would never
// be released; an unlimited wait would hang that server thread for good.
inline constexpr int kDefaultLockTimeout = 60;
// Firebird keeps the timeout as a 16-bit count of seconds.
inline constexpr int kMaxLockTimeout = 32767;
inline constexpr char kLockTimeoutVariable[] = "TOLVANE_LOCK_TIMEOUT";

// The lock timeout from the process environment: a whole number of seconds,
// 0 for no limit; absent or not a number gives the default, larger than the
// server accepts gives the largest it accepts.
int LockTimeoutFromEnvironment() noexcept;
int ParseLockTimeout(const char* value) noexcept;

class TransactionParameters {
 public:
  // lock_timeout: seconds, 0 = wait without a limit; ignored for no wait.
  TransactionParameters(const ConnectionOptions& options, int lock_timeout) noexcept;

  const unsigned char* Data() const noexcept { return bytes_.data(); }
  unsigned Length() const noexcept { return static_cast<unsigned>(length_); }

 private:
  void Add(unsigned char byte) noexcept { bytes_[length_++] = byte; }

  std::array<unsigned char, 16> bytes_{};
  std::size_t length_ = 0;
};

}  // namespace tolvane::fbdrv
