// The clones a busy connection makes, the close sequence and destruction.
#include <exception>
#include <memory>
#include <string>

#include "connection/SQLConnection.h"

namespace tolvane {
namespace {

// Runs one step of a teardown that must go on whatever fails; the first
// failure is kept for the caller to raise once everything is done.
template <class Step>
void KeepingFirstFailure(std::exception_ptr& failure, Step&& step) noexcept {
  try {
    step();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
}

}  // namespace

TSQLConnection* TSQLConnection::MakeClone() {
  TSQLConnection* source = is_clone_ ? cloned_from_ : this;
  auto clone = std::make_unique<TSQLConnection>(nullptr, platform_);
  clone->is_clone_ = true;
  clone->load_params_on_connect_ = false;
  clone->login_prompt_ = false;
  clone->driver_name_ = source->driver_name_;
  clone->connection_name_ = source->connection_name_;
  clone->SetName(source->Name() + "Clone1");
  for (const std::string& line : source->params_.Lines()) clone->params_.Add(line);
  clone->get_driver_func_ = source->get_driver_func_;
  clone->library_name_ = source->library_name_;
  clone->vendor_lib_ = source->VendorLib();
  clone->table_scope_ = source->table_scope_;

  // A clone whose open fails is never connected, so freeing it on the way
  // out cannot raise; one that opens belongs to this connection and is
  // closed and freed with it. Room for it is made before it opens: an open
  // clone freed on the way out would close inside a destructor that may not
  // raise, and a refused close there would end the process.
  clones_.reserve(clones_.size() + 1);
  clone->SetConnected(Connected());
  clone->cloned_from_ = source;
  clones_.push_back(std::move(clone));
  return clones_.back().get();
}

void TSQLConnection::FreeClones() {
  // Every clone is destroyed even when one of them fails to close; the
  // first failure is the one reported.
  std::exception_ptr failure;
  while (!clones_.empty()) {
    TSQLConnection* clone = clones_.back().release();
    clones_.pop_back();
    KeepingFirstFailure(failure, [clone] { DestroyConnection(clone); });
  }
  if (failure) std::rethrow_exception(failure);
}

void TSQLConnection::CloseConnection() {
  std::exception_ptr failure;
  KeepingFirstFailure(failure, [this] {
    if (driver_intf_) {
      open_state_ = connDisconnecting;
      // A refused reset stops the close here: the connection reads as
      // closed and keeps its references until the next open or destruction.
      if (connection_intf_) {
        CheckDriverResult(connection_intf_->SetConnectionOption(coTraceCallback, 0));
        CheckDriverResult(connection_intf_->SetConnectionOption(coTraceClientData, 0));
      }
      meta_data_intf_.Release();
      if (connection_intf_) {
        connection_intf_->DetachDatabase();
        open_transaction_count_ = 0;
        connection_intf_.Release();
      }
      // The library stays loaded for the life of the process.
      library_handle_ = nullptr;
      open_state_ = connClosed;
      driver_intf_.Release();
    }
    params_from_file_ = false;
  });
  // The clones end with the connection they were made for, however its own
  // close went.
  KeepingFirstFailure(failure, [this] { FreeClones(); });
  if (failure) std::rethrow_exception(failure);
}

void TSQLConnection::ReleaseForDestruction() {
  destroying_ = true;
  std::exception_ptr failure;
  KeepingFirstFailure(failure, [this] { SetConnected(false); });
  KeepingFirstFailure(failure, [this] { FreeClones(); });
  // What a failed open or a failed close left held goes now, before the
  // error, if any, reaches the code that destroys the connection.
  meta_data_intf_.Release();
  connection_intf_.Release();
  driver_intf_.Release();
  if (failure) std::rethrow_exception(failure);
}

TSQLConnection::~TSQLConnection() {
  try {
    ReleaseForDestruction();
  } catch (...) {
    // Destruction reports nothing; DestroyConnection is for callers that
    // must hear about a failed close.
  }
}

void DestroyConnection(TSQLConnection* connection) {
  if (connection == nullptr) return;
  std::unique_ptr<TSQLConnection> owned(connection);
  owned->ReleaseForDestruction();
}

void DestroyConnection(OwnedConnection connection) { DestroyConnection(connection.release()); }

}  // namespace tolvane
