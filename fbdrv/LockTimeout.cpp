#include "fbdrv/LockTimeout.h"

#include <cstdlib>

#include "fbdrv/EnvironmentSeconds.h"

namespace tolvane::fbdrv {

int ParseLockTimeout(const char* value) noexcept {
  return ParseSeconds(value, kDefaultLockTimeout, kMaxLockTimeout);
}

int AdoptedLockTimeout(int asked, int process) noexcept {
  const int limit = process > 0 ? process : kDefaultLockTimeout;
  return asked > 0 && asked < limit ? asked : limit;
}

int LockTimeoutFromEnvironment() noexcept {
  return ParseLockTimeout(std::getenv(kLockTimeoutVariable));
}

}  // namespace tolvane::fbdrv
