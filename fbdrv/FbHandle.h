// One owning handle for a Firebird interface, and the ways such an object is
// let go when its owner goes without ending it.
#pragma once

#include <firebird/Interface.h>

#include <utility>

#include "fbdrv/ServerStatus.h"

namespace tolvane::fbdrv {

// Let-go rules. Each is noexcept: it runs on clean-up paths, where a failure
// is not reported. The ending call (free, close, rollback) releases the
// interface when it succeeds; when it fails the interface is released here.
struct LetGoRelease {
  template <typename T>
  static void LetGo(ServerStatus&, T* object) noexcept { object->release(); }
};
struct LetGoDispose {  // XPB builders are disposed of, not counted
  template <typename T>
  static void LetGo(ServerStatus&, T* object) noexcept { object->dispose(); }
};
struct LetGoFree {
  static void LetGo(ServerStatus& status, Firebird::IStatement* statement) noexcept {
    if (!status.Quiet([&](Firebird::CheckStatusWrapper* s) { statement->free(s); })) {
      statement->release();
    }
  }
};
struct LetGoClose {
  static void LetGo(ServerStatus& status, Firebird::IResultSet* results) noexcept {
    if (!status.Quiet([&](Firebird::CheckStatusWrapper* s) { results->close(s); })) {
      results->release();
    }
  }
};
struct LetGoRollback {
  static void LetGo(ServerStatus& status, Firebird::ITransaction* transaction) noexcept {
    if (!status.Quiet([&](Firebird::CheckStatusWrapper* s) { transaction->rollback(s); })) {
      transaction->release();
    }
  }
};

template <typename T, typename Rule>
class FbHandle {
 public:
  explicit FbHandle(ServerStatus& status, T* object = nullptr) noexcept
      : status_(&status), object_(object) {}
  ~FbHandle() { Release(); }

  FbHandle(const FbHandle&) = delete;
  FbHandle& operator=(const FbHandle&) = delete;
  FbHandle(FbHandle&& other) noexcept
      : status_(other.status_), object_(std::exchange(other.object_, nullptr)) {}
  FbHandle& operator=(FbHandle&& other) noexcept {
    if (this != &other) {
      Release();
      status_ = other.status_;
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }

  // Lets the object go now by the handle's rule.
  void Release() noexcept {
    if (object_ != nullptr) Rule::LetGo(*status_, std::exchange(object_, nullptr));
  }
  // Runs a call that ends the object and releases its interface when it
  // succeeds (commit, rollback, detach, close, free): the handle is then
  // empty. When the call fails the handle still holds the object.
  template <typename Call>
  void End(Call&& call) {
    status_->Checked([&](Firebird::CheckStatusWrapper* s) { call(object_, s); });
    object_ = nullptr;
  }
  // Holds `successor` instead, without letting go of the object held: a
  // call was handed that one and ended or replaced it (execute).
  void Replace(T* successor) noexcept { object_ = successor; }
  // Hands the object over; the caller lets it go.
  T* Take() noexcept { return std::exchange(object_, nullptr); }

  T* Get() const noexcept { return object_; }
  T* operator->() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }

 private:
  ServerStatus* status_;
  T* object_;
};

using BuilderHandle = FbHandle<Firebird::IXpbBuilder, LetGoDispose>;
using ProviderHandle = FbHandle<Firebird::IProvider, LetGoRelease>;
// Detached on purpose (FbConnection); released when that failed.
using AttachmentHandle = FbHandle<Firebird::IAttachment, LetGoRelease>;
using TransactionHandle = FbHandle<Firebird::ITransaction, LetGoRollback>;
using StatementHandle = FbHandle<Firebird::IStatement, LetGoFree>;
using ResultSetHandle = FbHandle<Firebird::IResultSet, LetGoClose>;
using MetadataHandle = FbHandle<Firebird::IMessageMetadata, LetGoRelease>;

}  // namespace tolvane::fbdrv
