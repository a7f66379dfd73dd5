#include "fbdrv/FbDriver.h"

#include <new>

#include "fbdrv/ConnectTimeout.h"
#include "fbdrv/FbConnection.h"
#include "fbdrv/LockTimeout.h"

namespace tolvane::fbdrv {

FbDriver::FbDriver(const ClientLibrary& client) noexcept : client_(client) {}

DriverResult FbDriver::CreateConnection(ISQLConnection** connection) noexcept {
  if (connection == nullptr) return kDriverInvalidParameter;
  try {
    *connection = new FbConnection(client_, kDefaultConnectTimeout, kDefaultLockTimeout);
    return kDriverOk;
  } catch (...) {
    return kDriverOutOfMemory;
  }
}

}  // namespace tolvane::fbdrv
