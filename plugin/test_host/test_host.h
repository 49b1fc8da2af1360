// What the tests of the test host share: the plug-in library as the host
// loaded it, the host's main window, the scene the host shows and the
// sessions the class descriptor makes.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "plugin/shell/kestrelworks.h"
#include "plugin/test_host/plugin_library.h"
#include "scene/memory_scene.h"

namespace kw::test {

struct TestHost {
  PluginLibrary plugin;
  HWND mainWindow = nullptr;
  // Where the native build's SMD files of the figure scene are.
  std::string referenceFolder = ".";
};

TestHost& Host();

struct SessionDeleter {
  void operator()(SceneExport* session) const { delete session; }
};
using SessionPtr = std::unique_ptr<SceneExport, SessionDeleter>;

// A new exporter from the library's class descriptor; null when the library
// gives none.
SessionPtr NewSession();

// The session behind an exporter of ours, to read and preset its fields.
// Only fields and inline members: the core's code is inside the library.
inline Kestrelworks& AsSession(SceneExport& exporter) {
  return static_cast<Kestrelworks&>(exporter);
}

// Makes a scene the host's current one, with the test host's main window as
// the host's main window, until it goes out of scope.
class InstalledScene {
 public:
  explicit InstalledScene(std::unique_ptr<MemoryScene> scene);
  ~InstalledScene();
  InstalledScene(const InstalledScene&) = delete;
  InstalledScene& operator=(const InstalledScene&) = delete;
  MemoryScene& Scene() { return *scene_; }

 private:
  std::unique_ptr<MemoryScene> scene_;
};

// A scene of frames first to last with one helper node whose x position is
// the frame number.
std::unique_ptr<MemoryScene> MakeRangeScene(int firstFrame, int lastFrame);

// Whole contents of a file, or false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* contents);
bool FileExists(const std::string& path);

}  // namespace kw::test
