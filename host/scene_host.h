// The host an export reads its scene from, and the few host services the
// export calls besides the scene: the core interface, the debug output and
// the exporter base class.
//
// An export is handed a SceneHost (the in-memory scene of a scene file or a
// model, or on the host the plug-in's adapter over the free functions).
// Installed with SetSceneHost, a SceneHost is also what GetIGameInterface()
// and its siblings answer from, as the host's own library does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "host/scene_access.h"

// A window handle of the host's user interface; opaque to the core.
using HostWindow = void*;

// The host's core interface.
class Interface {
 public:
  virtual ~Interface() = default;
  // The main window; parent of the options dialog.
  virtual HostWindow GetMAXHWnd() = 0;
  // Asked once at the end of every export; the host redraws its views.
  virtual void ForceCompleteRedraw() = 0;
};

// The export-side interface the host hands to an exporter; not used by ours.
class ExpInterface {
 public:
  virtual ~ExpInterface() = default;
};

class SceneHost {
 public:
  virtual ~SceneHost() = default;
  virtual IGameScene* GetScene() = 0;
  virtual IGameConversionManager* GetConversionManager() = 0;
  virtual Interface* GetCoreInterface() = 0;
  virtual float GetIGameVersion() const { return 1.122f; }
  virtual float GetSupported3DSVersion() const { return 9.0f; }
  // Where the scene-access library's errors go; the stand-in library keeps
  // one callback, and one last error text, per thread.
  virtual void SetErrorCallBack(IGameErrorCallBack* callback);
};

// Installs the host the free functions answer from (null: none). The caller
// keeps ownership and keeps it alive while it is installed.
void SetSceneHost(SceneHost* host);
SceneHost* GetSceneHost();

// Records an error of the scene-access library: it becomes the text of
// GetLastIGameErrorText() and the installed error callback is called with code.
void RaiseIGameError(int code, const char* text);

// The host's core interface; null when no host is installed.
Interface* GetCOREInterface();

// Debug output of the host. The default sink drops everything; a host sends
// it where its debugger or log can see it.
void DebugPrint(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
using DebugSink = void (*)(const char* line, void* context);
void SetDebugSink(DebugSink sink, void* context);

// Allocations of objects handed to the host come from the host's heap. Here
// that is the C runtime's; a failed allocation gives null, not an exception.
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

// Bit 0 of the export options: export the selected nodes only.
constexpr std::uint32_t SCENE_EXPORT_SELECTED = 1u;
