// Opening a connection: the checks, loading the driver library, the entry
// call, the attachment with the recognised parameters as options, and the
// driver's capabilities.
#include <charconv>
#include <cstdint>
#include <exception>
#include <string>

#include "connection/DatabaseError.h"
#include "connection/RegistryFiles.h"
#include "connection/SQLConnection.h"
#include "runtime/Conversions.h"
#include "connection/ConnectionMessages.h"
#include "runtime/Text.h"

namespace tolvane {
namespace {

// The entry function found last on this thread. LoadDriverLibrary writes it
// and the entry call of the same open reads it right after, so opens on
// other threads, through other libraries, never see it.
thread_local TolvaneDriverEntry t_driver_entry_address = nullptr;

constexpr int kBusyCursor = -11;
constexpr int kNormalCursor = 0;

enum class ValueKind { kText, kFlag, kInteger, kIsolation, kAddress };

struct ConnectionParamRow {
  const char* key;  // null: the driver's isolation key
  ConnectionOption option;
  ValueKind kind;
};

// The parameters handed to the driver connection as options, in this order.
constexpr ConnectionParamRow kConnectionParamRows[] = {
    {"HostName", coHostName, ValueKind::kText},
    {"RoleName", coRoleName, ValueKind::kText},
    {"WaitOnLocks", coWaitOnLocks, ValueKind::kFlag},
    {"CommitRetain", coCommitRetain, ValueKind::kFlag},
    {"AutoCommit", coAutoCommit, ValueKind::kFlag},
    {"BlockingMode", coBlockingMode, ValueKind::kFlag},
    {"ServerCharSet", coServerCharSet, ValueKind::kText},
    {nullptr, coTransIsolation, ValueKind::kIsolation},
    {"SqlDialect", coSqlDialect, ValueKind::kInteger},
    {"OS Authentication", coOSAuthentication, ValueKind::kFlag},
    {"Server Port", coServerPort, ValueKind::kText},
    {"Multiple Transaction", coMultipleTransaction, ValueKind::kFlag},
    {"Trim Char", coTrimChar, ValueKind::kFlag},
    {"Custom String", coCustomString, ValueKind::kText},
    {"Connection Timeout", coConnectionTimeout, ValueKind::kInteger},
    {"LockTimeout", coLockTimeout, ValueKind::kInteger},
    {"Attachment", coAttachment, ValueKind::kAddress},
};

// 0 read committed, 1 repeatable read, 2 dirty read. The value is compared
// untrimmed: a blank in front makes it read committed.
OptionValue IsolationLevel(const std::string& value) {
  const std::string lower = LowerAscii(value);
  if (lower == "repeatableread") return 1;
  if (lower == "dirtyread") return 2;
  return 0;
}

// An address written as a decimal number (AttachmentParam); anything else
// is 0, no address.
OptionValue AddressValue(const std::string& value) {
  const std::string text = Trim(value);
  std::uintptr_t address = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), address);
  if (error != std::errc() || end != text.data() + text.size()) return 0;
  return static_cast<OptionValue>(address);
}

}  // namespace

std::string AttachmentParam(const void* attachment) {
  return std::to_string(reinterpret_cast<std::uintptr_t>(attachment));
}

void TSQLConnection::BusyCursor() {
  if (!busy_cursor_enabled_) return;
  if (BusyCursorHookFunc hook = BusyCursorHook()) hook(kBusyCursor);
}

void TSQLConnection::NormalCursor() {
  if (BusyCursorHookFunc hook = BusyCursorHook()) hook(kNormalCursor);
}

void TSQLConnection::OpenConnection() {
  CheckOpenSettings();
  open_state_ = connConnecting;
  // Outside the guarded region: a library that cannot be loaded leaves the
  // state connecting, and the next open runs every step again.
  LoadDriverLibrary();
  TStringList login_params;

  // Runs whether the region completes or raises; only a failed open is
  // taken back to closed. DriverIntf and MetaDataIntf stay as they are.
  auto clean_up = [this] {
    NormalCursor();
    if (open_state_ == connConnecting) {
      open_state_ = connClosed;
      library_handle_ = nullptr;
      connection_intf_.Release();
    }
  };

  try {
    BusyCursor();

    const std::string error_resource_file = Trim(params_.Values("ErrorResourceFile"));
    DriverResult entry_result = t_driver_entry_address(
        vendor_lib_.c_str(), error_resource_file.c_str(), driver_intf_.Put());
    // A driver that reports success without a driver object is refused too.
    if (entry_result != 0 || !driver_intf_)
      RaiseDatabaseErrorFmt(kSUnableToLoad, {vendor_lib_}, nullptr);

    CheckDriverResult(driver_intf_->CreateConnection(connection_intf_.Put()));

    BuildLoginParams(login_params);
    BusyCursor();
    ApplyConnectionParams();

    const std::string database = Trim(login_params.Values("Database"));
    const std::string user_name = login_params.Values("USER_NAME");
    const std::string password = login_params.Values("PASSWORD");
    CheckDriverResult(
        connection_intf_->AttachDatabase(database.c_str(), user_name.c_str(), password.c_str()));

    // The driver writes the limit straight into the field; a driver that
    // writes nothing leaves the previous value.
    std::int16_t length = 0;
    connection_intf_->GetConnectionOption(coMaxActiveStatements, &max_active_statements_,
                                          sizeof max_active_statements_, &length);

    CheckDriverResult(connection_intf_->CreateMetaData(meta_data_intf_.Put()));

    const std::string trimmed_user_name = Trim(user_name);
    if (!trimmed_user_name.empty())
      meta_data_intf_->SetMetaDataOption(moUserName,
                                         reinterpret_cast<OptionValue>(trimmed_user_name.c_str()));

    ReadConnectionTraits();
    open_state_ = connOpen;
  } catch (...) {
    clean_up();
    throw;
  }
  clean_up();
}

void TSQLConnection::CheckOpenSettings() {
  if (load_params_on_connect_) {
    FillParamsFromFile();
    driver_name_ =
        ReadRegistryFileValue(platform_, connection_name_, "DriverName", connection_registry_path_);
  }
  if (driver_name_.empty()) RaiseDatabaseError(kSMissingDriverName, nullptr);

  // Each value looks the driver registry file up afresh.
  if (load_params_on_connect_)
    library_name_ = ReadRegistryFileValue(platform_, driver_name_, "LibraryName",
                                          FindDriverRegistryFile(platform_));
  if (library_name_.empty()) RaiseDatabaseError(kSLibraryNameMissing, this);

  if (load_params_on_connect_)
    vendor_lib_ = Trim(ReadRegistryFileValue(platform_, driver_name_, "VendorLib",
                                             FindDriverRegistryFile(platform_)));
  if (vendor_lib_.empty()) RaiseDatabaseError(kSLibraryNameMissing, this);

  if (load_params_on_connect_)
    get_driver_func_ = ReadRegistryFileValue(platform_, driver_name_, "GetDriverFunc",
                                             FindDriverRegistryFile(platform_));

  // Not trimmed: a path of blanks passes here and attaches an empty name.
  if (params_.Values("Database").empty()) {
    if (connection_name_.empty()) RaiseDatabaseError(kSConnectionNameMissing, nullptr);
    RaiseDatabaseError(kSMissingDatabaseName, nullptr);
  }
}

void TSQLConnection::LoadDriverLibrary() {
  BusyCursor();
  try {
    const std::string library_name = LibraryName();
    // The library is never unloaded: loading it again by name yields the
    // copy already in the process.
    if (library_handle_ == nullptr) library_handle_ = platform_.LoadLibrary(Trim(library_name), nullptr);
    if (library_handle_ == nullptr)
      RaiseDatabaseErrorFmt(kSUnableToLoad, {library_name}, nullptr);

    t_driver_entry_address = reinterpret_cast<TolvaneDriverEntry>(
        platform_.FindSymbol(library_handle_, Trim(get_driver_func_)));
    if (t_driver_entry_address == nullptr)
      RaiseDatabaseErrorFmt(kSFunctionNotFound, {get_driver_func_}, nullptr);
  } catch (...) {
    NormalCursor();
    throw;
  }
  NormalCursor();
}

void TSQLConnection::BuildLoginParams(TStringList& login_params) {
  login_params.BeginUpdate();
  try {
    login_params.Clear();
    for (const std::string& line : params_.Lines()) {
      if (login_params.IndexOf(line) >= 0) continue;
      // Values are fetched by name, so the first matching line of Params
      // wins, and the login names are always spelled the same way.
      const std::string_view name = TStringList::NameOf(line);
      if (SameTextAscii(name, "PASSWORD"))
        login_params.Add(Format("%s=%s", {"PASSWORD", params_.Values("PASSWORD")}));
      else if (SameTextAscii(name, "USER_NAME"))
        login_params.Add(Format("%s=%s", {"USER_NAME", params_.Values("USER_NAME")}));
      else if (SameTextAscii(name, "Database"))
        login_params.Add(Format("%s=%s", {"Database", Trim(params_.Values("Database"))}));
    }
  } catch (...) {
    login_params.EndUpdate();
    throw;
  }
  login_params.EndUpdate();
  if (login_prompt_) PromptForLogin(login_params);
}

void TSQLConnection::PromptForLogin(TStringList& login_params) {
  if (on_login_) {
    on_login_(*this, login_params);
    return;
  }
  LoginDialogHookFunc dialog = LoginDialogHook();
  if (dialog == nullptr) return;
  std::string user_name = login_params.Values("USER_NAME");
  std::string password;
  NormalCursor();
  if (!dialog(connection_name_, user_name, password, false))
    RaiseDatabaseErrorFmt(kSCannotConnect, {connection_name_}, nullptr);
  BusyCursor();
  login_params.SetValue("USER_NAME", user_name);
  login_params.SetValue("PASSWORD", password);
}

void TSQLConnection::ApplyConnectionParams() {
  const std::string isolation_key = Format("%s TransIsolation", {driver_name_});
  for (const ConnectionParamRow& row : kConnectionParamRows) {
    const std::string value = params_.Values(row.key != nullptr ? row.key : isolation_key);
    if (value.empty()) continue;
    // Option results are ignored: no option stops an open.
    switch (row.kind) {
      case ValueKind::kText: {
        const std::string text = Trim(value);
        if (row.option == coServerCharSet && text.empty()) break;
        connection_intf_->SetConnectionOption(row.option,
                                              reinterpret_cast<OptionValue>(text.c_str()));
        break;
      }
      case ValueKind::kFlag:
        connection_intf_->SetConnectionOption(row.option, IsTrueFlag(value) ? 1 : 0);
        break;
      case ValueKind::kInteger:
        connection_intf_->SetConnectionOption(row.option, StrToInt(Trim(value)));
        break;
      case ValueKind::kIsolation:
        connection_intf_->SetConnectionOption(row.option, IsolationLevel(value));
        break;
      case ValueKind::kAddress:
        connection_intf_->SetConnectionOption(row.option, AddressValue(value));
        break;
    }
  }
}

void TSQLConnection::ReadConnectionTraits() {
  std::int16_t length = 0;

  identifier_quote_.clear();
  char quote = 0;
  if (meta_data_intf_->GetMetaDataOption(moQuoteChar, &quote, 1, &length) == 0 && quote != 0)
    identifier_quote_ = std::string(1, quote);

  // Results ignored; a value that does not convert fails the open, after
  // the attachment.
  const std::string blob_size = params_.Values("BlobSize");
  connection_intf_->SetConnectionOption(coBlobSize,
                                        blob_size.empty() ? -1 : StrToInt(Trim(blob_size)));

  std::int32_t transactions = 0;
  meta_data_intf_->GetMetaDataOption(moTransactionsSupported, &transactions, sizeof transactions,
                                     &length);
  has_transactions_ = transactions != 0 ? -1 : 0;

  meta_data_intf_->GetMetaDataOption(moMultipleTransactionsSupported, &has_multi_transactions_,
                                     sizeof has_multi_transactions_, &length);
}

}  // namespace tolvane
