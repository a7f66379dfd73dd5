// Reference counting shared by every object the driver hands out.
#pragma once

#include <atomic>
#include <cstdint>

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

}  // namespace tolvane::fbdrv
