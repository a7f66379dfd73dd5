#include "fbdrv/FbDriver.h"

#include <new>

#include "fbdrv/ConnectTimeout.h"
#include "fbdrv/FbConnection.h"
#include "fbdrv/LockTimeout.h"

namespace tolvane::fbdrv {

FbDriver::FbDriver(const ClientLibrary& client) noexcept
    : client_(client),
      connect_timeout_(ConnectTimeoutFromEnvironment()),
      lock_timeout_(LockTimeoutFromEnvironment()) {}

DriverResult FbDriver::CreateConnection(ISQLConnection** connection) noexcept {
  if (connection == nullptr) return kDriverInvalidParameter;
  try {
    *connection = new FbConnection(client_, connect_timeout_, lock_timeout_);
    return kDriverOk;
  } catch (...) {
    return kDriverOutOfMemory;
  }
}

}  // namespace tolvane::fbdrv
