// TComponent: the runtime base that gives a component its owner, Name and Tag.
#pragma once

#include <string>

namespace tolvane {

class TComponent {
 public:
  explicit TComponent(TComponent* owner) : owner_(owner) {}
  // Destruction never raises: a component whose teardown can fail offers a
  // step of its own that reports the failure before it is destroyed.
  virtual ~TComponent() = default;

  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }

 private:
  TComponent* owner_;
  std::string name_;
  int tag_ = 0;
};

}  // namespace tolvane
