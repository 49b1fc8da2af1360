// The library's own activation context, made from the manifest among its
// resources. Inside it the library's dialogs get the version 6 common
// controls whatever the host process's own manifest asks for. Where the
// system has no activation contexts, or the manifest cannot be used, the
// context stays empty and everything runs without one.
#pragma once

#include <windows.h>

namespace kw {

class ActivationContext {
 public:
  // Returns whether a context was made.
  bool Create(HINSTANCE module) noexcept;
  void Release() noexcept;
  bool Empty() const { return handle_ == INVALID_HANDLE_VALUE; }

 private:
  friend class ActivationScope;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Activates a context for its own lifetime; does nothing for an empty one.
class ActivationScope {
 public:
  explicit ActivationScope(const ActivationContext& context) noexcept;
  ~ActivationScope();
  ActivationScope(const ActivationScope&) = delete;
  ActivationScope& operator=(const ActivationScope&) = delete;

 private:
  ULONG_PTR cookie_ = 0;
  bool active_ = false;
};

}  // namespace kw
