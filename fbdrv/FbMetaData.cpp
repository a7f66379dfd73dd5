#include "fbdrv/FbMetaData.h"

#include <cstring>
#include <utility>

namespace tolvane::fbdrv {
namespace {

DriverResult WriteBytes(const void* value, std::int16_t size, void* buffer,
                        std::int16_t buffer_length, std::int16_t* length) noexcept {
  if (buffer == nullptr || buffer_length < size) return kDriverInvalidParameter;
  std::memcpy(buffer, value, static_cast<std::size_t>(size));
  if (length != nullptr) *length = size;
  return kDriverOk;
}

}  // namespace

FbMetaData::FbMetaData(DriverRef<FbConnection> connection) noexcept
    : connection_(std::move(connection)) {}

DriverResult FbMetaData::SetMetaDataOption(MetaDataOption id, OptionValue value) noexcept {
  if (id != moUserName) return kDriverNotSupported;
  try {
    const char* text = reinterpret_cast<const char*>(value);
    user_name_ = text != nullptr ? text : "";
    return kDriverOk;
  } catch (...) {
    return kDriverOutOfMemory;
  }
}

DriverResult FbMetaData::GetMetaDataOption(MetaDataOption id, void* buffer,
                                           std::int16_t buffer_length,
                                           std::int16_t* length) noexcept {
  switch (id) {
    case moQuoteChar: {
      // Only dialect 3 reads double quotes as quoted names; in dialect 1 they
      // enclose texts, so there is no quote character.
      const char quote = connection_->Dialect() >= 3 ? '"' : '\0';
      return WriteBytes(&quote, 1, buffer, buffer_length, length);
    }
    case moTransactionsSupported: {
      const std::int32_t yes = 1;
      return WriteBytes(&yes, sizeof yes, buffer, buffer_length, length);
    }
    case moMultipleTransactionsSupported: {
      // Each connection runs its statements in its own transaction(s); it
      // offers no way to run several named transactions side by side.
      const std::int32_t no = 0;
      return WriteBytes(&no, sizeof no, buffer, buffer_length, length);
    }
    default:
      return kDriverNotSupported;
  }
}

}  // namespace tolvane::fbdrv
