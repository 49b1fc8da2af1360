// The library's entry point and the five functions the host looks up by
// name (kestrelworks.def gives them their plain names).
#include <windows.h>
#include <commctrl.h>

#include "plugin/host_stub/host_sdk.h"
#include "plugin/shell/kestrelworks_class_desc.h"
#include "plugin/shell/plugin_module.h"
#include "plugin/shell/resource.h"

namespace kw {

namespace {

HINSTANCE g_instance = nullptr;
bool g_controlsInitialised = false;
ActivationContext g_activationContext;
KestrelworksClassDesc g_classDesc;
char g_stringBuffer[256];

void InitialiseControls(HINSTANCE instance) {
  g_activationContext.Create(instance);
  ActivationScope scope(g_activationContext);
  InitCustomControls(instance);
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);
}

}  // namespace

HINSTANCE PluginInstance() { return g_instance; }

const ActivationContext& PluginActivationContext() { return g_activationContext; }

const char* GetString(int id) {
  if (!g_instance) return nullptr;
  const int length =
      LoadStringA(g_instance, static_cast<UINT>(id), g_stringBuffer, sizeof g_stringBuffer);
  return length > 0 ? g_stringBuffer : nullptr;
}

}  // namespace kw

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // Unloaded by FreeLibrary; at process exit the system drops it anyway.
    kw::g_activationContext.Release();
    return TRUE;
  }
  if (reason != DLL_PROCESS_ATTACH) return TRUE;

  kw::g_instance = instance;
  DisableThreadLibraryCalls(instance);
  if (!kw::g_controlsInitialised) {
    kw::g_controlsInitialised = true;
    kw::InitialiseControls(instance);
  }
  return TRUE;
}

extern "C" {

const char* LibDescription() noexcept { return kw::GetString(IDS_LIB_DESCRIPTION); }

int LibNumberClasses() noexcept { return 1; }

ClassDesc* LibClassDesc(int i) noexcept { return i == 0 ? &kw::g_classDesc : nullptr; }

ULONG LibVersion() noexcept { return VERSION_3DSMAX; }

ULONG CanAutoDefer() noexcept { return 1; }

}  // extern "C"
