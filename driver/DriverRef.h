// One owning handle for a counted driver reference, used on both sides of the
// driver contract.
#pragma once

namespace tolvane {

// T is any interface with AddRef/Release (driver/SqlDriver.h's IInterface and
// what derives from it).
template <class T>
class DriverRef {
 public:
  DriverRef() = default;
  ~DriverRef() { Release(); }

  // Takes over a reference the caller already owns.
  static DriverRef Adopt(T* object) noexcept {
    DriverRef ref;
    ref.ptr_ = object;
    return ref;
  }
  // Takes a reference of its own.
  static DriverRef Retain(T* object) noexcept {
    if (object != nullptr) object->AddRef();
    return Adopt(object);
  }

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
  T** Put() noexcept {
    Release();
    return &ptr_;
  }

  // Drops the reference now; the variable is cleared before the object can go.
  void Release() noexcept {
    T* old = ptr_;
    ptr_ = nullptr;
    if (old != nullptr) old->Release();
  }

  T* Get() const noexcept { return ptr_; }
  T* operator->() const noexcept { return ptr_; }
  explicit operator bool() const noexcept { return ptr_ != nullptr; }

 private:
  T* ptr_ = nullptr;
};

}  // namespace tolvane
