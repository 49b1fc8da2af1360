#include "plugin/shell/activation_context.h"

namespace kw {

namespace {

// Looked up at run time: systems before activation contexts lack these
// entry points, and a static import would keep the library from loading there.
using CreateActCtxProc = HANDLE(WINAPI*)(const ACTCTXA*);
using ReleaseActCtxProc = void(WINAPI*)(HANDLE);
using ActivateActCtxProc = BOOL(WINAPI*)(HANDLE, ULONG_PTR*);
using DeactivateActCtxProc = BOOL(WINAPI*)(DWORD, ULONG_PTR);

// The manifest a DLL carries for its own use (ISOLATIONAWARE_MANIFEST_RESOURCE_ID).
constexpr WORD kLibraryManifestId = 2;

template <typename Proc>
Proc Kernel32(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel ? reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(kernel, name)))
                : nullptr;
}

}  // namespace

bool ActivationContext::Create(HINSTANCE module) noexcept {
  Release();
  const auto create = Kernel32<CreateActCtxProc>("CreateActCtxA");
  if (!create) return false;

  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  ACTCTXA request{};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.hModule = module;
  request.lpSource = length > 0 && length < MAX_PATH ? path : nullptr;
  request.lpResourceName = MAKEINTRESOURCEA(kLibraryManifestId);
  handle_ = create(&request);
  return !Empty();
}

void ActivationContext::Release() noexcept {
  if (Empty()) return;
  if (const auto release = Kernel32<ReleaseActCtxProc>("ReleaseActCtx")) release(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

ActivationScope::ActivationScope(const ActivationContext& context) noexcept {
  if (context.Empty()) return;
  if (const auto activate = Kernel32<ActivateActCtxProc>("ActivateActCtx")) {
    active_ = activate(context.handle_, &cookie_) != FALSE;
  }
}

ActivationScope::~ActivationScope() {
  if (!active_) return;
  if (const auto deactivate = Kernel32<DeactivateActCtxProc>("DeactivateActCtx")) {
    deactivate(0, cookie_);
  }
}

}  // namespace kw
