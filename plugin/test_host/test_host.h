// What the tests of the test host share: the plug-in library as the host
// loaded it, the host's main window, the scene the host shows and the
// sessions the class descriptor makes.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "plugin/shell/kestrelworks.h"
#include "plugin/test_host/host_objects.h"
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

// Our exporter behind the host's view of it, to read what it kept. Inline
// members only: the adapter's code is inside the library.
inline const Kestrelworks& AsSession(const SceneExport& exporter) {
  return static_cast<const Kestrelworks&>(exporter);
}

// Makes a scene the host's current one, and a core interface whose main
// window is the test host's, until it goes out of scope.
class InstalledScene {
 public:
  explicit InstalledScene(std::unique_ptr<MemoryScene> scene);
  ~InstalledScene();
  InstalledScene(const InstalledScene&) = delete;
  InstalledScene& operator=(const InstalledScene&) = delete;
  SceneSpy& Spy() { return spy_; }
  HostCore& Core() { return core_; }

 private:
  std::unique_ptr<MemoryScene> scene_;
  SceneSpy spy_;
  HostCore core_;
};

// A scene of frames first to last with one helper node whose x position is
// the frame number.
std::unique_ptr<MemoryScene> MakeRangeScene(int firstFrame, int lastFrame);

// Whole contents of a file, or false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* contents);
bool FileExists(const std::string& path);

}  // namespace kw::test
