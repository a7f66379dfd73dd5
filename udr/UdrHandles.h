// Owners of what a routine's context hands out, so that every way out of a
// routine (a Firebird error included) gives it back.
#pragma once

#ifndef FB_UDR_STATUS_TYPE
#define FB_UDR_STATUS_TYPE ::Firebird::ThrowStatusWrapper
#endif

#include <firebird/UdrCppEngine.h>

#include <utility>

namespace tolvane {

// Releases a reference the routine's context handed out, on every way out.
template <class Interface>
class Released {
 public:
  explicit Released(Interface* object) : object_(object) {}
  ~Released() { Reset(); }
  Released(const Released&) = delete;
  Released& operator=(const Released&) = delete;
  Interface* operator->() const { return object_; }
  Interface* Get() const { return object_; }
  void Reset(Interface* object = nullptr) {
    if (object_ != nullptr) std::exchange(object_, nullptr)->release();
    object_ = object;
  }

 private:
  Interface* object_;
};

// Closes the BLOB on every way out.
class OpenBlob {
 public:
  OpenBlob(Firebird::IBlob* blob, Firebird::ThrowStatusWrapper* status)
      : blob_(blob), status_(status) {}
  ~OpenBlob() {
    if (blob_ == nullptr) return;
    try {
      blob_->close(status_);
    } catch (...) {
      blob_->release();
    }
  }
  OpenBlob(const OpenBlob&) = delete;
  OpenBlob& operator=(const OpenBlob&) = delete;
  Firebird::IBlob* Get() const { return blob_; }
  // Closes it now, so that a failure to close is raised, not swallowed.
  void Close() {
    if (blob_ == nullptr) return;
    blob_->close(status_);
    blob_ = nullptr;
  }

 private:
  Firebird::IBlob* blob_;
  Firebird::ThrowStatusWrapper* status_;
};

}  // namespace tolvane
