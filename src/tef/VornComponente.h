#pragma once

#include <string>

// A named object placed on an owner, the shape every TEF object a host
// configures has. The owner does not free it: ownership is explicit elsewhere.
class TComponent {
 public:
  explicit TComponent(TComponent* owner) : owner_(owner) {}
  virtual ~TComponent() = default;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

 private:
  TComponent* owner_;
  std::string name_;
};
