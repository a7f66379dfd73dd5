#include "fbdrv/ConnectTimeout.h"

#include <cstdlib>

#include "fbdrv/EnvironmentSeconds.h"

namespace tolvane::fbdrv {

int ParseConnectTimeout(const char* value) noexcept {
  return ParseSeconds(value, kDefaultConnectTimeout, kMaxConnectTimeout);
}

int ConnectTimeoutFromEnvironment() noexcept {
  return ParseConnectTimeout(std::getenv(kConnectTimeoutVariable));
}

}  // namespace tolvane::fbdrv
