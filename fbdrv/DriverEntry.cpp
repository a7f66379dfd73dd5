// The library's one export: the driver entry function.
#include <string>

#include "driver/SqlDriver.h"
#include "fbdrv/ClientLibrary.h"
#include "fbdrv/DriverFailure.h"
#include "fbdrv/FbDriver.h"

extern "C" __attribute__((visibility("default"))) tolvane::DriverResult getSQLDriverINTERBASE(
    const char* vendor_lib, const char* /*error_resource_file*/, tolvane::ISQLDriver** driver) {
  using namespace tolvane;
  if (driver == nullptr) return kDriverInvalidParameter;
  if (vendor_lib == nullptr) return kDriverInvalidParameter;
  try {
    const fbdrv::ClientLibrary& client = fbdrv::ClientLibrary::Load(vendor_lib);
    *driver = new fbdrv::FbDriver(client);
    return kDriverOk;
  } catch (const fbdrv::DriverFailure& failure) {
    return failure.Code();
  } catch (...) {
    return kDriverOutOfMemory;
  }
}

// Checked at build time: the export has exactly the contract's type.
[[maybe_unused]] static constexpr TolvaneDriverEntry kEntryHasContractType = &getSQLDriverINTERBASE;
