#include "fbdrv/LockTimeout.h"

#include <cstdlib>

#include "fbdrv/EnvironmentSeconds.h"

namespace tolvane::fbdrv {

int ParseLockTimeout(const char* value) noexcept {
  return ParseSeconds(value, kDefaultLockTimeout, kMaxLockTimeout);
}

int LockTimeoutFromEnvironment() noexcept {
  return ParseLockTimeout(std::getenv(kLockTimeoutVariable));
}

}  // namespace tolvane::fbdrv
