#include "fbdrv/FbConnection.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "fbdrv/DriverFailure.h"
#include "fbdrv/DriverTexts.h"
#include "fbdrv/FbMetaData.h"
#include "fbdrv/FbStatement.h"
#include "fbdrv/OwnAttachments.h"

namespace tolvane::fbdrv {
namespace {

[[noreturn]] void InvalidParameter(const char* what) {
  throw DriverFailure(kDriverInvalidParameter, FormatText(texts::kInvalidParameter, what));
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
  return options_.connection_timeout >= 0 ? options_.connection_timeout : default_connect_timeout_;
}

BuilderHandle FbConnection::AttachParameters(const char* user_name, const char* password,
                                             int connect_timeout) {
  BuilderHandle builder(status_, status_.Checked([&](Firebird::CheckStatusWrapper* s) {
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
  return builder;
}

DriverResult FbConnection::AttachDatabase(const char* database, const char* user_name,
                                          const char* password) noexcept {
  return error_.Run([&] {
    if (database == nullptr) InvalidParameter("database");
    if (attachment_) InvalidParameter(texts::kAlreadyAttached);
    if (options_.attachment != 0) {
      Adopt();
      return;
    }

    const int connect_timeout = ConnectTimeout();
    const BuilderHandle builder = AttachParameters(user_name, password, connect_timeout);
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
    RememberOwnAttachment(attachment_.Get());
    transactions_.Configure(true);
  });
}

void FbConnection::Adopt() {
  auto* attachment = reinterpret_cast<Firebird::IAttachment*>(options_.attachment);
  attachment->addRef();
  attachment_ = AttachmentHandle(status_, attachment);
  adopted_ = true;
  transactions_.SetAdoptedOwn(IsOwnAttachment(attachment));
  transactions_.Configure(true);
}

void FbConnection::Detach() {
  if (!attachment_) return;
  transactions_.Abandon();
  if (adopted_) {
    // What was left open is rolled back above; the attachment stays its holder's.
    adopted_ = false;
    attachment_.Release();
    return;
  }
  ForgetOwnAttachment(attachment_.Get());
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
    if (id == coAttachment && Attached()) InvalidParameter(texts::kAlreadyAttached);
    SetOption(options_, id, value);
    transactions_.Configure(Attached());
  });
}

DriverResult FbConnection::GetConnectionOption(ConnectionOption id, void* buffer,
                                               std::int16_t buffer_length,
                                               std::int16_t* length) noexcept {
  return error_.Run([&] {
    if (id == coAttachment) {
      const auto address = reinterpret_cast<std::uintptr_t>(RequireAttachment());
      if (buffer == nullptr || buffer_length < static_cast<std::int16_t>(sizeof address))
        InvalidParameter("buffer");
      std::memcpy(buffer, &address, sizeof address);
      if (length != nullptr) *length = static_cast<std::int16_t>(sizeof address);
      return;
    }
    GetOption(options_, transactions_.LockTimeout(), id, buffer, buffer_length, length);
  });
}

DriverResult FbConnection::GetErrorText(char* buffer) noexcept { return error_.GetText(buffer); }

DriverResult FbConnection::GetErrorTextLength(std::int16_t* length) noexcept {
  return error_.GetLength(length);
}

}  // namespace tolvane::fbdrv
