// A small owning handle for one counted driver reference.
#pragma once

#include "driver/SqlDriver.h"

namespace tolvane {

template <class T>
class DriverRef {
 public:
  DriverRef() = default;
  ~DriverRef() { Release(); }

  DriverRef(const DriverRef&) = delete;
  DriverRef& operator=(const DriverRef&) = delete;
  DriverRef(DriverRef&& other) noexcept : ptr_(other.ptr_) { other.ptr_ = nullptr; }
  DriverRef& operator=(DriverRef&& other) noexcept {
    if (this != &other) {
      Release();
      ptr_ = other.ptr_;
      other.ptr_ = nullptr;
    }
    return *this;
  }

  // Releases the reference held, if any, and hands out the empty slot for a
  // driver call to fill: a reference is released immediately before the call
  // that fills it again.
  T** Put() {
    Release();
    return &ptr_;
  }

  // Drops the reference now; the variable is cleared before the object can go.
  void Release() noexcept {
    T* old = ptr_;
    ptr_ = nullptr;
    if (old != nullptr) old->Release();
  }

  T* Get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

 private:
  T* ptr_ = nullptr;
};

}  // namespace tolvane
