// Construction, properties and the Connected writer of the connection
// component. Opening, direct execution and closing live in their own files.
#include "connection/SQLConnection.h"

#include <atomic>

#include "connection/DatabaseError.h"
#include "connection/RegistryFiles.h"
#include "connection/ConnectionMessages.h"
#include "runtime/Text.h"

namespace tolvane {
namespace {

std::atomic<BusyCursorHookFunc> g_busy_cursor_hook{nullptr};
std::atomic<LoginDialogHookFunc> g_login_dialog_hook{nullptr};

}  // namespace

void SetBusyCursorHook(BusyCursorHookFunc hook) { g_busy_cursor_hook.store(hook); }
void SetLoginDialogHook(LoginDialogHookFunc hook) { g_login_dialog_hook.store(hook); }
BusyCursorHookFunc BusyCursorHook() { return g_busy_cursor_hook.load(); }
LoginDialogHookFunc LoginDialogHook() { return g_login_dialog_hook.load(); }

void TCustomConnection::SetConnected(bool value) {
  if (value == GetConnected()) return;
  if (value) {
    CallEvent(before_connect_);
    OpenConnection();
    CallEvent(after_connect_);
  } else {
    CallEvent(before_disconnect_);
    CloseConnection();
    CallEvent(after_disconnect_);
  }
}

TSQLConnection::TSQLConnection(TComponent* owner, Platform& platform)
    : TCustomConnection(owner), platform_(platform) {
  // The path is found now but read only with LoadParamsOnConnect; a broken
  // setting must never stop a component from being made.
  try {
    connection_registry_path_ = FindConnectionRegistryFile(platform_);
  } catch (...) {
    connection_registry_path_.clear();
  }
  keep_connection_ = true;
  busy_cursor_enabled_ = true;
  table_scope_ = kDefaultTableScope;
  login_prompt_ = true;
}

bool TSQLConnection::GetConnected() {
  return connection_intf_ && open_state_ != connClosed && open_state_ != connConnecting &&
         open_state_ != connDisconnecting;
}

void TSQLConnection::RequireClosed() {
  if (connection_intf_) RaiseDatabaseError(kSConnectionOpen, this);
}

void TSQLConnection::SetConnectionName(const std::string& value) {
  if (value == connection_name_) return;
  last_error_text_.clear();
  if (Connected()) SetConnected(false);
  if (driver_name_.empty() && value.empty()) {
    vendor_lib_.clear();
    library_name_.clear();
    params_.Clear();
  }
  params_from_file_ = false;
  connection_name_ = value;
}

void TSQLConnection::SetDriverName(const std::string& value) {
  if (value == driver_name_) return;
  RequireClosed();
  if (connection_name_.empty()) {
    vendor_lib_.clear();
    library_name_.clear();
    get_driver_func_.clear();
    params_.Clear();
  }
  driver_name_ = value;
}

void TSQLConnection::SetParams(const TStringList& value) {
  RequireClosed();
  params_.Assign(value);
}

void TSQLConnection::SetKeepConnection(bool value) {
  if (value == keep_connection_) return;
  keep_connection_ = value;
  if (!value) SetConnected(false);
}

std::string TSQLConnection::VendorLib() {
  if (vendor_lib_.empty() && load_params_on_connect_)
    return Trim(ReadRegistryFileValue(platform_, driver_name_, "VendorLib",
                                      ResolveDriverRegistryPath()));
  return vendor_lib_;
}

std::string TSQLConnection::LibraryName() {
  if (library_name_.empty() && load_params_on_connect_)
    return ReadRegistryFileValue(platform_, driver_name_, "LibraryName",
                                 ResolveDriverRegistryPath());
  return library_name_;
}

}  // namespace tolvane
