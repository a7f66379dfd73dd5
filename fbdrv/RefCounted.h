// Reference counting shared by every object the driver hands out.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

namespace tolvane::fbdrv {

// Mixes AddRef/Release into an interface. The object starts with one
// reference, the one handed to whoever created it, and deletes itself when
// the last is released.
template <typename Interface>
class RefCounted : public Interface {
 public:
  std::uint32_t AddRef() noexcept override { return ++references_; }
  std::uint32_t Release() noexcept override {
    const std::uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  RefCounted() = default;
  ~RefCounted() override = default;

 private:
  std::atomic<std::uint32_t> references_{1};
};

// Holds one counted reference and drops it when it goes.
template <typename T>
class Ref {
 public:
  Ref() = default;
  // Takes over a reference the caller already owns.
  static Ref Adopt(T* object) noexcept {
    Ref ref;
    ref.object_ = object;
    return ref;
  }
  // Takes a reference of its own.
  static Ref Retain(T* object) noexcept {
    if (object != nullptr) object->AddRef();
    return Adopt(object);
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
  Ref& operator=(Ref&& other) noexcept {
    if (this != &other) {
      Reset();
      object_ = other.object_;
      other.object_ = nullptr;
    }
    return *this;
  }
  ~Ref() { Reset(); }

  void Reset() noexcept {
    if (object_ != nullptr) std::exchange(object_, nullptr)->Release();
  }
  T* Get() const noexcept { return object_; }
  T* operator->() const noexcept { return object_; }

 private:
  T* object_ = nullptr;
};

}  // namespace tolvane::fbdrv
