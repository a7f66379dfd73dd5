#include <utility>
#include <vector>

#include "runtime/ThreadOwned.h"

namespace tolvane {
namespace {

class Owned {
 public:
  Owned() = default;
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() {
    for (auto& [type, object] : objects_) type->destroy(object);
  }

  void* Find(const ThreadOwnedType& type) {
    for (auto& [owned_type, object] : objects_)
      if (owned_type == &type) return object;
    objects_.emplace_back(&type, type.make());
    return objects_.back().second;
  }

 private:
  std::vector<std::pair<const ThreadOwnedType*, void*>> objects_;
};

thread_local Owned t_owned;

}  // namespace

void* ThreadOwned(const ThreadOwnedType& type) { return t_owned.Find(type); }

}  // namespace tolvane
