// Our stand-in for the host's own libraries (kwhost.dll on Windows): the
// services a plug-in calls besides the scene itself (the core interface, the
// debug output, the exporter base class and the host's heap) and the free
// functions of the scene-access library. A real host answers these from its
// own state; this stand-in answers from what a test host installs with the
// hooks at the end. Portable: the native tests link it too. The Windows-only
// parts of the host's interface are in host_sdk.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "scene/scene_access.h"
#include "scene/scene_host.h"

// A window handle of the host's user interface; opaque to the plug-in.
using HostWindow = void*;

// The host's core interface.
class Interface {
 public:
  virtual ~Interface() = default;
  // The main window; parent of the options dialog.
  virtual HostWindow GetMAXHWnd() = 0;
  virtual void ForceCompleteRedraw() = 0;
};

// Handed to an exporter with each export; ours has no use for it.
class ExpInterface {
 public:
  virtual ~ExpInterface() = default;
};

// Objects handed to the host come from the host's heap. Here that is the C
// runtime's; a failed allocation gives null, not an exception.
class MaxHeapOperators {
 public:
  static void* operator new(std::size_t size) noexcept;
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
  static void operator delete(void* p) noexcept;
};

// The scene-exporter object the host creates for each export request.
class SceneExport : public MaxHeapOperators {
 public:
  virtual ~SceneExport() = default;
  virtual int ExtCount() = 0;
  virtual const char* Ext(int n) = 0;
  virtual const char* LongDesc() = 0;
  virtual const char* ShortDesc() = 0;
  virtual const char* AuthorName() = 0;
  virtual const char* CopyrightMessage() = 0;
  virtual const char* OtherMessage1() = 0;
  virtual const char* OtherMessage2() = 0;
  virtual unsigned int Version() = 0;
  virtual void ShowAbout(HostWindow parent) = 0;
  virtual int DoExport(const char* name, ExpInterface* ei, Interface* i, int suppressPrompts,
                       std::uint32_t options) = 0;
  virtual int SupportsOptions(int ext, std::uint32_t options) = 0;
};

// Bit 0 of DoExport's options: export the selected nodes only.
constexpr std::uint32_t SCENE_EXPORT_SELECTED = 1u;

// The host's core interface; null when none is installed.
Interface* GetCOREInterface();

// The host's debug output. Nothing reaches anyone until a sink is installed.
void DebugPrint(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The scene-access library's free functions, answered by the installed
// scene host; with none installed: null, 0 and "".
IGameScene* GetIGameInterface();
IGameConversionManager* GetConversionManager();
float GetIGameVersion();
float GetSupported3DSVersion();
void SetErrorCallBack(IGameErrorCallBack* callback);
const char* GetLastIGameErrorText();

// The stand-in's hooks. Callers keep ownership of what they install and keep
// it alive until they install null again.
void SetSceneHost(kw::SceneHost* host);
kw::SceneHost* GetSceneHost();
void SetCoreInterface(Interface* core);
using DebugSink = void (*)(const char* line, void* context);
void SetDebugSink(DebugSink sink, void* context);
