#include "fbdrv/FbDriver.h"

#include <new>

#include "fbdrv/FbConnection.h"

namespace tolvane::fbdrv {

DriverResult FbDriver::CreateConnection(ISQLConnection** connection) noexcept {
  if (connection == nullptr) return kDriverInvalidParameter;
  try {
    *connection = new FbConnection(client_);
    return kDriverOk;
  } catch (...) {
    return kDriverOutOfMemory;
  }
}

}  // namespace tolvane::fbdrv
