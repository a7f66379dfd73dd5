#include "fbdrv/ConnectionOptions.h"

#include <cstring>

#include "fbdrv/DriverFailure.h"
#include "fbdrv/DriverTexts.h"
#include "fbdrv/LockTimeout.h"

namespace tolvane::fbdrv {
namespace {

std::string TextValue(OptionValue value) {
  const char* text = reinterpret_cast<const char*>(value);
  return text != nullptr ? std::string(text) : std::string();
}

[[noreturn]] void NotSupported(ConnectionOption id, OptionValue value) {
  throw DriverFailure(kDriverNotSupported,
                      FormatText(texts::kOptionNotSupported, static_cast<int>(id),
                                 static_cast<long long>(value)));
}

[[noreturn]] void InvalidParameter(const char* what) {
  throw DriverFailure(kDriverInvalidParameter, FormatText(texts::kInvalidParameter, what));
}

void WriteInt(std::int32_t value, void* buffer, std::int16_t buffer_length, std::int16_t* length) {
  if (buffer == nullptr || buffer_length < static_cast<std::int16_t>(sizeof value)) {
    InvalidParameter("buffer");
  }
  std::memcpy(buffer, &value, sizeof value);
  if (length != nullptr) *length = sizeof value;
}

void WriteText(const std::string& value, void* buffer, std::int16_t buffer_length,
               std::int16_t* length) {
  if (buffer == nullptr || buffer_length <= 0 ||
      value.size() >= static_cast<std::size_t>(buffer_length)) {
    InvalidParameter("buffer");
  }
  std::memcpy(buffer, value.c_str(), value.size() + 1);
  if (length != nullptr) *length = static_cast<std::int16_t>(value.size());
}

}  // namespace

void SetOption(ConnectionOptions& options, ConnectionOption id, OptionValue value) {
  switch (id) {
    case coAutoCommit:
      options.auto_commit = value != 0;
      break;
    case coBlockingMode:
      if (value == 0) NotSupported(id, value);  // calls always block until done
      break;
    case coBlobSize:
      options.blob_size = static_cast<int>(value);
      break;
    case coRoleName:
      options.role_name = TextValue(value);
      break;
    case coWaitOnLocks:
      options.wait_on_locks = value != 0;
      break;
    case coCommitRetain:
      options.commit_retain = value != 0;
      break;
    case coTransIsolation:
      if (value == 1) {
        options.isolation = Isolation::kSnapshot;
      } else if (value == 0 || value == 2) {
        options.isolation = Isolation::kReadCommitted;
      } else {
        InvalidParameter("isolation");
      }
      break;
    case coHostName:
      options.host_name = TextValue(value);
      break;
    case coServerCharSet:
      options.server_char_set = TextValue(value);
      break;
    case coSqlDialect:
      if (value < 1 || value > 3) InvalidParameter("dialect");
      options.sql_dialect = static_cast<int>(value);
      break;
    case coServerPort:
      options.server_port = TextValue(value);
      break;
    case coConnectionTimeout:
      if (value < 0) InvalidParameter("timeout");
      options.connection_timeout = static_cast<int>(value);
      break;
    case coLockTimeout:
      if (value < 0 || value > kMaxLockTimeout) InvalidParameter("lock timeout");
      options.lock_timeout = static_cast<int>(value);
      break;
    case coAttachment:
      options.attachment = static_cast<std::uintptr_t>(value);
      break;
    case coTraceCallback:
    case coTraceClientData:
    case coOSAuthentication:
    case coMultipleTransaction:
    case coTrimChar:
      // Only "off" is supported: no tracing, no OS logins, one transaction,
      // and no data is fetched that could be trimmed.
      if (value != 0) NotSupported(id, value);
      break;
    case coCustomString:
      if (!TextValue(value).empty()) NotSupported(id, value);
      break;
    default:
      if (!SetScriptOption(options, id, value)) NotSupported(id, value);
  }
}

void GetOption(const ConnectionOptions& options, int lock_timeout, ConnectionOption id,
               void* buffer, std::int16_t buffer_length, std::int16_t* length) {
  switch (id) {
    case coMaxActiveStatements:
      WriteInt(0, buffer, buffer_length, length);  // no limit
      break;
    case coAutoCommit:
      WriteInt(options.auto_commit, buffer, buffer_length, length);
      break;
    case coWaitOnLocks:
      WriteInt(options.wait_on_locks, buffer, buffer_length, length);
      break;
    case coCommitRetain:
      WriteInt(options.commit_retain, buffer, buffer_length, length);
      break;
    case coTransIsolation:
      WriteInt(options.isolation == Isolation::kSnapshot ? 1 : 0, buffer, buffer_length, length);
      break;
    case coSqlDialect:
      WriteInt(options.sql_dialect, buffer, buffer_length, length);
      break;
    case coBlobSize:
      WriteInt(options.blob_size, buffer, buffer_length, length);
      break;
    case coConnectionTimeout:
      WriteInt(options.connection_timeout < 0 ? 0 : options.connection_timeout, buffer, buffer_length,
               length);
      break;
    case coLockTimeout:
      WriteInt(lock_timeout, buffer, buffer_length, length);
      break;
    case coRoleName:
      WriteText(options.role_name, buffer, buffer_length, length);
      break;
    case coHostName:
      WriteText(options.host_name, buffer, buffer_length, length);
      break;
    case coServerCharSet:
      WriteText(options.server_char_set, buffer, buffer_length, length);
      break;
    case coServerPort:
      WriteText(options.server_port, buffer, buffer_length, length);
      break;
    default: {
      std::int32_t value = 0;
      if (!GetScriptOption(options, id, &value)) NotSupported(id, 0);
      WriteInt(value, buffer, buffer_length, length);
    }
  }
}

}  // namespace tolvane::fbdrv
