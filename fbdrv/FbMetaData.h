// What the driver tells the layer about itself and the attached database.
#pragma once

#include <string>

#include "driver/DriverRef.h"
#include "driver/SqlDriver.h"
#include "fbdrv/FbConnection.h"
#include "fbdrv/RefCounted.h"

namespace tolvane::fbdrv {

class FbMetaData final : public RefCounted<ISQLMetaData> {
 public:
  explicit FbMetaData(DriverRef<FbConnection> connection) noexcept;

  DriverResult SetMetaDataOption(MetaDataOption id, OptionValue value) noexcept override;
  DriverResult GetMetaDataOption(MetaDataOption id, void* buffer, std::int16_t buffer_length,
                                 std::int16_t* length) noexcept override;

 private:
  ~FbMetaData() override = default;

  DriverRef<FbConnection> connection_;
  std::string user_name_;
};

}  // namespace tolvane::fbdrv
