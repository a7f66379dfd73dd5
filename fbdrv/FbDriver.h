// The driver object handed out by the entry function: makes connections
// that use one client library.
#pragma once

#include "driver/SqlDriver.h"
#include "fbdrv/ClientLibrary.h"
#include "fbdrv/RefCounted.h"

namespace tolvane::fbdrv {

class FbDriver final : public RefCounted<ISQLDriver> {
 public:
  explicit FbDriver(const ClientLibrary& client) noexcept;

  DriverResult CreateConnection(ISQLConnection** connection) noexcept override;

 private:
  ~FbDriver() override = default;

  const ClientLibrary& client_;
};

}  // namespace tolvane::fbdrv
