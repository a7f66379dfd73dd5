#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <new>
#include <utility>
#include <vector>

#include "runtime/ThreadOwned.h"

namespace tolvane {
namespace {

// A thread's objects; the fiber-local slot holds a pointer to it.
struct Owned {
  std::vector<std::pair<const ThreadOwnedType*, void*>> objects;
};

void WINAPI DestroyOwned(void* value) {
  auto* owned = static_cast<Owned*>(value);
  if (owned == nullptr) return;
  for (auto& [type, object] : owned->objects) type->destroy(object);
  delete owned;
}

// One slot for the module. The system calls DestroyOwned for every thread
// that ends while the slot exists, and for every thread still running when
// the module unloads and frees it.
class Slot {
 public:
  Slot() : index_(::FlsAlloc(&DestroyOwned)) {}
  ~Slot() {
    if (index_ != FLS_OUT_OF_INDEXES) ::FlsFree(index_);
  }
  Slot(const Slot&) = delete;
  Slot& operator=(const Slot&) = delete;

  Owned& ThisThread() {
    if (index_ == FLS_OUT_OF_INDEXES) throw std::bad_alloc();
    auto* owned = static_cast<Owned*>(::FlsGetValue(index_));
    if (owned == nullptr) {
      owned = new Owned;
      ::FlsSetValue(index_, owned);
    }
    return *owned;
  }

 private:
  DWORD index_;
};

}  // namespace

void* ThreadOwned(const ThreadOwnedType& type) {
  static Slot slot;
  Owned& owned = slot.ThisThread();
  for (auto& [owned_type, object] : owned.objects)
    if (owned_type == &type) return object;
  owned.objects.emplace_back(&type, type.make());
  return owned.objects.back().second;
}

}  // namespace tolvane
