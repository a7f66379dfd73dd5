// TSQLConnection: the component through which the module reaches a database.
// It carries the driver names and the parameter list before it is opened,
// holds the driver objects while it is open, and runs statements on them.
//
// Properties follow one convention: read P with P(), write it with SetP(v).
// A component is used by one thread at a time and takes no lock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "connection/DatabaseError.h"
#include "driver/DriverRef.h"
#include "driver/SqlDriver.h"
#include "runtime/Component.h"
#include "runtime/Platform.h"
#include "runtime/StringList.h"

namespace tolvane {

class TSQLConnection;

enum OpenState : std::uint8_t {
  connClosed = 0,
  connOpen = 1,
  connConnecting = 2,
  connDisconnecting = 5,
};

enum TTableScope : std::uint8_t { tsSynonym = 0, tsSysTable = 1, tsTable = 2, tsView = 3 };
// A set of TTableScope, one bit per member; [tsTable, tsView] is 12.
using TTableScopes = std::uint8_t;
inline constexpr TTableScopes TableScopeBit(TTableScope scope) {
  return static_cast<TTableScopes>(1u << scope);
}
inline constexpr TTableScopes kDefaultTableScope = TableScopeBit(tsTable) | TableScopeBit(tsView);

// Which driver object is asked for its own error text.
enum ErrorSource : std::uint8_t { esConnection = 0, esStatement = 1 };

using TNotifyEvent = std::function<void(TSQLConnection& sender)>;
using TSQLConnectionLoginEvent =
    std::function<void(TSQLConnection& database, TStringList& login_params)>;

// Process-wide hooks a user of the component may install; none is installed
// by default, and an open without them changes no cursor and asks nobody.
// The busy hook gets -11 for busy and 0 for normal. The login dialog gets the
// connection name, the user name and password (in and out) and whether the
// user name is read-only, and returns false when the user cancels.
using BusyCursorHookFunc = void (*)(int cursor);
using LoginDialogHookFunc = bool (*)(const std::string& database_name, std::string& user_name,
                                     std::string& password, bool user_name_read_only);
void SetBusyCursorHook(BusyCursorHookFunc hook);
void SetLoginDialogHook(LoginDialogHookFunc hook);
BusyCursorHookFunc BusyCursorHook();
LoginDialogHookFunc LoginDialogHook();

// The connection base: Connected, the connect events and LoginPrompt.
class TCustomConnection : public TComponent {
 public:
  explicit TCustomConnection(TComponent* owner) : TComponent(owner) {}

  bool Connected() { return GetConnected(); }
  // Writing the value Connected already reads does nothing. Opening calls
  // BeforeConnect, OpenConnection, AfterConnect; closing calls
  // BeforeDisconnect, CloseConnection, AfterDisconnect. An exception from any
  // of them ends the write there.
  virtual void SetConnected(bool value);

  bool LoginPrompt() const { return login_prompt_; }
  void SetLoginPrompt(bool value) { login_prompt_ = value; }

  const TNotifyEvent& AfterConnect() const { return after_connect_; }
  void SetAfterConnect(TNotifyEvent handler) { after_connect_ = std::move(handler); }
  const TNotifyEvent& AfterDisconnect() const { return after_disconnect_; }
  void SetAfterDisconnect(TNotifyEvent handler) { after_disconnect_ = std::move(handler); }
  const TNotifyEvent& BeforeConnect() const { return before_connect_; }
  void SetBeforeConnect(TNotifyEvent handler) { before_connect_ = std::move(handler); }
  const TNotifyEvent& BeforeDisconnect() const { return before_disconnect_; }
  void SetBeforeDisconnect(TNotifyEvent handler) { before_disconnect_ = std::move(handler); }

  // Nothing in this system registers a client or a data set.
  int DataSetCount() const { return 0; }

 protected:
  virtual void OpenConnection() {}
  virtual void CloseConnection() {}
  virtual bool GetConnected() { return false; }
  // The events get the concrete component; set by TSQLConnection.
  virtual void CallEvent(const TNotifyEvent& handler) = 0;

  bool login_prompt_ = true;
  TNotifyEvent after_connect_;
  TNotifyEvent after_disconnect_;
  TNotifyEvent before_connect_;
  TNotifyEvent before_disconnect_;
};

class TSQLConnection : public TCustomConnection {
 public:
  // A closed component with the defaults. The connection registry file's
  // path is looked up here; a failure of that lookup is swallowed.
  explicit TSQLConnection(TComponent* owner, Platform& platform = DefaultPlatform());
  // Closes an open connection (with its disconnect events) and releases what
  // is still held; a close error is dropped. DestroyConnection is the way to
  // hear about it.
  ~TSQLConnection() override;

  // The teardown of destruction as a step of its own: closes an open
  // connection, frees the clones and releases every driver reference, all of
  // them also when one step fails; then raises the first failure.
  void ReleaseForDestruction();

  // Published properties.
  const std::string& ConnectionName() const { return connection_name_; }
  void SetConnectionName(const std::string& value);
  const std::string& DriverName() const { return driver_name_; }
  void SetDriverName(const std::string& value);
  const std::string& GetDriverFunc() const { return get_driver_func_; }
  void SetGetDriverFunc(const std::string& value) { get_driver_func_ = value; }
  bool KeepConnection() const { return keep_connection_; }
  void SetKeepConnection(bool value);
  // With LoadParamsOnConnect and an empty field, falls back on the driver
  // registry file's "LibraryName" (untrimmed); the value is not stored.
  std::string LibraryName();
  void SetLibraryName(const std::string& value) { library_name_ = value; }
  bool LoadParamsOnConnect() const { return load_params_on_connect_; }
  void SetLoadParamsOnConnect(bool value) { load_params_on_connect_ = value; }
  // The owned list itself; changes through it are never checked against the
  // state of the connection and take effect at the next open.
  TStringList& Params() { return params_; }
  void SetParams(const TStringList& value);
  TTableScopes TableScope() const { return table_scope_; }
  void SetTableScope(TTableScopes value) { table_scope_ = value; }
  // With LoadParamsOnConnect and an empty field, falls back on the driver
  // registry file's "VendorLib" (trimmed); the value is not stored.
  std::string VendorLib();
  void SetVendorLib(const std::string& value) { vendor_lib_ = value; }
  const TSQLConnectionLoginEvent& OnLogin() const { return on_login_; }
  void SetOnLogin(TSQLConnectionLoginEvent handler) { on_login_ = std::move(handler); }

  // Raises "Cannot perform this operation on an open connection", naming the
  // component, while a driver connection is held.
  void RequireClosed();

  // Runs one SQL text on a fresh driver statement and returns the rows
  // affected. Opens the connection first when it is closed.
  std::uint32_t ExecuteSqlDirect(const std::string& sql);
  // Runs one SQL text that returns rows, as ExecuteSqlDirect would, and
  // gives its first row's columns as texts (nullopt: NULL); false when it
  // returned no row. Opens the connection first when it is closed.
  bool SelectFirstRow(const std::string& sql, std::vector<std::optional<std::string>>* row);
  // The attachment the open connection runs on, as the Attachment parameter
  // of another connection takes it (AttachmentParam).
  const void* AttachmentAddress();

  // Raises the driver error for a non-zero result, asking the connection for
  // its text; returns 0 otherwise.
  DriverResult CheckDriverResult(DriverResult result);
  // Builds the message from the result-code table and the source object's
  // own text, stores it in LastErrorText and raises EDatabaseError.
  [[noreturn]] void RaiseDriverError(DriverResult code, ErrorSource source,
                                     ISQLStatement* statement);

  // State, for the component's users and for tests.
  OpenState State() const { return open_state_; }
  const std::string& LastErrorText() const { return last_error_text_; }
  const std::string& ConnectionRegistryPath() const { return connection_registry_path_; }
  const std::string& IdentifierQuote() const { return identifier_quote_; }
  std::uint32_t MaxActiveStatements() const { return max_active_statements_; }
  std::int32_t HasTransactions() const { return has_transactions_; }
  std::int32_t HasMultiTransactions() const { return has_multi_transactions_; }
  bool ParamsFromFile() const { return params_from_file_; }
  bool IsClone() const { return is_clone_; }
  TSQLConnection* ClonedFrom() const { return cloned_from_; }
  bool BusyCursorEnabled() const { return busy_cursor_enabled_; }
  void SetBusyCursorEnabled(bool value) { busy_cursor_enabled_ = value; }
  void* LibraryHandle() const { return library_handle_; }
  ISQLDriver* DriverIntf() const { return driver_intf_.Get(); }
  ISQLConnection* ConnectionIntf() const { return connection_intf_.Get(); }
  ISQLMetaData* MetaDataIntf() const { return meta_data_intf_.Get(); }
  // The clones this connection made and owns; closed and destroyed with it.
  const std::vector<std::unique_ptr<TSQLConnection>>& Clones() const { return clones_; }
  Platform& GetPlatform() const { return platform_; }

  // Registry files.
  std::string ResolveDriverRegistryPath();
  void FillParamsFromFile();

 protected:
  void OpenConnection() override;
  void CloseConnection() override;
  bool GetConnected() override;
  void CallEvent(const TNotifyEvent& handler) override {
    if (handler) handler(*this);
  }
  // The last step of every open: reads the driver's capabilities.
  virtual void ReadConnectionTraits();
  // For tests of error reporting only: hands the component a driver
  // connection (one reference, now owned by the component) without opening.
  void AdoptConnectionIntfForTesting(ISQLConnection* connection) {
    *connection_intf_.Put() = connection;
  }

 private:
  // Opening.
  void CheckOpenSettings();
  void LoadDriverLibrary();
  void BuildLoginParams(TStringList& login_params);
  void PromptForLogin(TStringList& login_params);
  void ApplyConnectionParams();
  void BusyCursor();
  void NormalCursor();

  // Direct execution.
  void EnsureConnected();
  TSQLConnection* StatementConnection();
  TSQLConnection* MakeClone();
  // Closes and destroys the clones this connection made.
  void FreeClones();

  Platform& platform_;

  // Fields.
  std::uint32_t active_statement_count_ = 0;
  bool clone_allowed_ = true;
  TSQLConnection* cloned_from_ = nullptr;
  OpenState open_state_ = connClosed;
  std::string connection_name_;
  std::string connection_registry_path_;
  std::string driver_name_;
  std::string driver_registry_path_;
  std::string get_driver_func_;
  std::int32_t open_transaction_count_ = 0;
  bool is_clone_ = false;
  bool keep_connection_ = true;
  std::string last_error_text_;
  std::string library_name_;
  bool load_params_on_connect_ = false;
  TSQLConnectionLoginEvent on_login_;
  TStringList params_;
  bool params_from_file_ = false;
  std::uint32_t max_active_statements_ = 0;
  std::string identifier_quote_;
  void* library_handle_ = nullptr;
  bool busy_cursor_enabled_ = true;
  std::int32_t has_multi_transactions_ = 0;
  TTableScopes table_scope_ = kDefaultTableScope;
  std::int32_t has_transactions_ = 0;
  std::string vendor_lib_;
  bool destroying_ = false;

  // Driver references, released in the order the close sequence gives.
  DriverRef<ISQLDriver> driver_intf_;
  DriverRef<ISQLConnection> connection_intf_;
  DriverRef<ISQLMetaData> meta_data_intf_;

  std::vector<std::unique_ptr<TSQLConnection>> clones_;
};

// Destroys connection (owned by the caller, may be null) and raises the first
// failure of its close, after everything it held has been released.
void DestroyConnection(TSQLConnection* connection);

// A connection's owner: letting go of it closes the connection quietly (as
// its destructor does); DestroyConnection is the close that reports.
using OwnedConnection = std::unique_ptr<TSQLConnection>;
void DestroyConnection(OwnedConnection connection);

// The value of the "Attachment" parameter that hands the driver an
// attachment someone else holds (coAttachment): the open runs on it instead
// of attaching, and the close lets it go without detaching.
std::string AttachmentParam(const void* attachment);

}  // namespace tolvane
