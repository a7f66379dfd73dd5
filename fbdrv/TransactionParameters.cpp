#include "fbdrv/TransactionParameters.h"

#include <ibase.h>

#include <cstdlib>

namespace tolvane::fbdrv {

int ParseLockTimeout(const char* value) noexcept {
  if (value == nullptr || *value == '\0') return kDefaultLockTimeout;
  long seconds = 0;
  for (const char* c = value; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return kDefaultLockTimeout;
    if (seconds <= kMaxLockTimeout) seconds = seconds * 10 + (*c - '0');
  }
  return seconds > kMaxLockTimeout ? kMaxLockTimeout : static_cast<int>(seconds);
}

int LockTimeoutFromEnvironment() noexcept {
  return ParseLockTimeout(std::getenv(kLockTimeoutVariable));
}

TransactionParameters::TransactionParameters(const ConnectionOptions& options,
                                             int lock_timeout) noexcept {
  Add(isc_tpb_version3);
  Add(isc_tpb_write);
  if (options.isolation == Isolation::kSnapshot) {
    Add(isc_tpb_concurrency);
  } else {
    // Firebird has no dirty read; both other levels read the last committed version.
    Add(isc_tpb_read_committed);
    Add(isc_tpb_rec_version);
  }
  if (!options.wait_on_locks) {
    Add(isc_tpb_nowait);
    return;
  }
  Add(isc_tpb_wait);
  if (lock_timeout > 0) {
    Add(isc_tpb_lock_timeout);
    Add(2);
    Add(static_cast<unsigned char>(lock_timeout & 0xFF));
    Add(static_cast<unsigned char>((lock_timeout >> 8) & 0xFF));
  }
}

}  // namespace tolvane::fbdrv
