#include "fbdrv/FbConnection.h"

#include <chrono>
#include <cstring>
#include <new>

#include "fbdrv/DriverFailure.h"
#include "fbdrv/DriverTexts.h"
#include "fbdrv/FbMetaData.h"
#include "fbdrv/FbStatement.h"

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

FbConnection::FbConnection(const ClientLibrary& client, int connect_timeout, int lock_timeout)
    : client_(client),
      status_(client),
      default_connect_timeout_(connect_timeout),
      transactions_(status_, options_, lock_timeout) {}

FbConnection::~FbConnection() {
  try {
    Detach();
  } catch (...) {
    // Nobody is left to hear about it; the attachment is released as it goes.
  }
}

Firebird::IAttachment* FbConnection::RequireAttachment() {
  if (!attachment_) throw DriverFailure(kDriverInvalidHandle, texts::kNotAttached);
  return attachment_.Get();
}

std::string FbConnection::DatabaseString(const char* database) const {
  if (options_.host_name.empty()) return database;
  std::string text = options_.host_name;
  if (!options_.server_port.empty()) text += "/" + options_.server_port;
  text += ':';
  text += database;
  return text;
}

int FbConnection::ConnectTimeout() const noexcept {
  return options_.connection_timeout > 0 ? options_.connection_timeout : default_connect_timeout_;
}

DriverResult FbConnection::AttachDatabase(const char* database, const char* user_name,
                                          const char* password) noexcept {
  return error_.Run([&] {
    if (database == nullptr) InvalidParameter("database");
    if (attachment_) InvalidParameter(texts::kAlreadyAttached);

    const int connect_timeout = ConnectTimeout();
    const BuilderHandle builder(status_, status_.Checked([&](Firebird::CheckStatusWrapper* s) {
      return client_.util->getXpbBuilder(s, Firebird::IXpbBuilder::DPB, nullptr, 0);
    }));
    status_.Checked([&](Firebird::CheckStatusWrapper* s) {
      builder->insertInt(s, isc_dpb_sql_dialect, options_.sql_dialect);
      if (user_name != nullptr && *user_name != '\0') {
        builder->insertString(s, isc_dpb_user_name, user_name);
      }
      if (password != nullptr && *password != '\0') {
        builder->insertString(s, isc_dpb_password, password);
      }
      if (!options_.role_name.empty()) {
        builder->insertString(s, isc_dpb_sql_role_name, options_.role_name.c_str());
      }
      if (!options_.server_char_set.empty()) {
        builder->insertString(s, isc_dpb_lc_ctype, options_.server_char_set.c_str());
      }
      // Also bounds the wait for a peer that accepts and never answers.
      if (connect_timeout > 0) builder->insertInt(s, isc_dpb_connect_timeout, connect_timeout);
    });
    const unsigned length = status_.Checked(
        [&](Firebird::CheckStatusWrapper* s) { return builder->getBufferLength(s); });
    const unsigned char* bytes = status_.Checked(
        [&](Firebird::CheckStatusWrapper* s) { return builder->getBuffer(s); });

    const ProviderHandle provider(status_, client_.master->getDispatcher());
    const std::string target = DatabaseString(database);
    const auto started = std::chrono::steady_clock::now();
    try {
      attachment_ = AttachmentHandle(status_, status_.Checked([&](Firebird::CheckStatusWrapper* s) {
        return provider->attachDatabase(s, target.c_str(), length, bytes);
      }));
    } catch (const DriverFailure& failure) {
      // The client reports a timed-out wait as a rejected connection; say
      // what happened, with the client's own lines after it.
      const auto waited = std::chrono::steady_clock::now() - started;
      if (connect_timeout <= 0 || failure.Details().isc_code != isc_connect_reject ||
          waited < std::chrono::seconds(connect_timeout) - std::chrono::milliseconds(250)) {
        throw;
      }
      throw DriverFailure(failure.Code(),
                          FormatText(texts::kConnectTimedOut, target.c_str(), connect_timeout) +
                              "\n-" + failure.Text(),
                          failure.Details());
    }
    transactions_.Configure(true);
  });
}

void FbConnection::Detach() {
  if (!attachment_) return;
  transactions_.Abandon();
  attachment_.End([](Firebird::IAttachment* attachment, Firebird::CheckStatusWrapper* s) {
    attachment->detach(s);
  });
}

DriverResult FbConnection::DetachDatabase() noexcept {
  return error_.Run([&] {
    RequireAttachment();
    Detach();
  });
}

DriverResult FbConnection::CreateCommand(ISQLStatement** statement) noexcept {
  return error_.Run([&] {
    if (statement == nullptr) InvalidParameter("statement");
    RequireAttachment();
    *statement = new FbStatement(DriverRef<FbConnection>::Retain(this));
  });
}

DriverResult FbConnection::CreateMetaData(ISQLMetaData** meta_data) noexcept {
  return error_.Run([&] {
    if (meta_data == nullptr) InvalidParameter("meta_data");
    RequireAttachment();
    *meta_data = new FbMetaData(DriverRef<FbConnection>::Retain(this));
  });
}

DriverResult FbConnection::SetConnectionOption(ConnectionOption id, OptionValue value) noexcept {
  return error_.Run([&] {
    switch (id) {
      case coAutoCommit:
        options_.auto_commit = value != 0;
        break;
      case coBlockingMode:
        if (value == 0) NotSupported(id, value);  // calls always block until done
        break;
      case coBlobSize:
        options_.blob_size = static_cast<int>(value);
        break;
      case coRoleName:
        options_.role_name = TextValue(value);
        break;
      case coWaitOnLocks:
        options_.wait_on_locks = value != 0;
        break;
      case coCommitRetain:
        options_.commit_retain = value != 0;
        break;
      case coTransIsolation:
        if (value == 1) {
          options_.isolation = Isolation::kSnapshot;
        } else if (value == 0 || value == 2) {
          options_.isolation = Isolation::kReadCommitted;
        } else {
          InvalidParameter("isolation");
        }
        break;
      case coHostName:
        options_.host_name = TextValue(value);
        break;
      case coServerCharSet:
        options_.server_char_set = TextValue(value);
        break;
      case coSqlDialect:
        if (value < 1 || value > 3) InvalidParameter("dialect");
        options_.sql_dialect = static_cast<int>(value);
        break;
      case coServerPort:
        options_.server_port = TextValue(value);
        break;
      case coConnectionTimeout:
        if (value < 0) InvalidParameter("timeout");
        options_.connection_timeout = static_cast<int>(value);
        break;
      case coLockTimeout:
        if (value < 0 || value > kMaxLockTimeout) InvalidParameter("lock timeout");
        options_.lock_timeout = static_cast<int>(value);
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
        NotSupported(id, value);
    }
    transactions_.Configure(Attached());
  });
}

DriverResult FbConnection::GetConnectionOption(ConnectionOption id, void* buffer,
                                               std::int16_t buffer_length,
                                               std::int16_t* length) noexcept {
  return error_.Run([&] {
    switch (id) {
      case coMaxActiveStatements:
        WriteInt(0, buffer, buffer_length, length);  // no limit
        break;
      case coAutoCommit:
        WriteInt(options_.auto_commit, buffer, buffer_length, length);
        break;
      case coWaitOnLocks:
        WriteInt(options_.wait_on_locks, buffer, buffer_length, length);
        break;
      case coCommitRetain:
        WriteInt(options_.commit_retain, buffer, buffer_length, length);
        break;
      case coTransIsolation:
        WriteInt(options_.isolation == Isolation::kSnapshot ? 1 : 0, buffer, buffer_length, length);
        break;
      case coSqlDialect:
        WriteInt(options_.sql_dialect, buffer, buffer_length, length);
        break;
      case coBlobSize:
        WriteInt(options_.blob_size, buffer, buffer_length, length);
        break;
      case coConnectionTimeout:
        WriteInt(options_.connection_timeout, buffer, buffer_length, length);
        break;
      case coLockTimeout:
        WriteInt(transactions_.LockTimeout(), buffer, buffer_length, length);
        break;
      case coRoleName:
        WriteText(options_.role_name, buffer, buffer_length, length);
        break;
      case coHostName:
        WriteText(options_.host_name, buffer, buffer_length, length);
        break;
      case coServerCharSet:
        WriteText(options_.server_char_set, buffer, buffer_length, length);
        break;
      case coServerPort:
        WriteText(options_.server_port, buffer, buffer_length, length);
        break;
      default:
        NotSupported(id, 0);
    }
  });
}

DriverResult FbConnection::GetErrorText(char* buffer) noexcept { return error_.GetText(buffer); }

DriverResult FbConnection::GetErrorTextLength(std::int16_t* length) noexcept {
  return error_.GetLength(length);
}

}  // namespace tolvane::fbdrv
