#include "plugin/test_host/test_host.h"

#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

namespace kw::test {

TestHost& Host() {
  static TestHost host;
  return host;
}

SessionPtr NewSession() {
  if (!Host().plugin.LibClassDesc) return SessionPtr();
  ClassDesc* descriptor = Host().plugin.LibClassDesc(0);
  if (!descriptor) return SessionPtr();
  return SessionPtr(static_cast<SceneExport*>(descriptor->Create(FALSE)));
}

InstalledScene::InstalledScene(std::unique_ptr<MemoryScene> scene)
    : scene_(std::move(scene)), spy_(*scene_), core_(Host().mainWindow) {
  SetSceneHost(&spy_);
  SetCoreInterface(&core_);
}

InstalledScene::~InstalledScene() {
  if (GetSceneHost() == &spy_) SetSceneHost(nullptr);
  if (GetCOREInterface() == &core_) SetCoreInterface(nullptr);
}

std::unique_ptr<MemoryScene> MakeRangeScene(int firstFrame, int lastFrame) {
  auto scene = std::make_unique<MemoryScene>();
  scene->SetTiming(firstFrame * 160, lastFrame * 160, 160);
  MemoryNode& helper = scene->AddNode(1, "helper");
  scene->MakeObject(helper, kObjectHelper);
  // A key on every frame: no interpolation to blur the numbers.
  std::vector<AnimationKey<Point3>> keys;
  for (int frame = firstFrame; frame <= lastFrame; ++frame) {
    keys.push_back({frame * 160, Point3(static_cast<float>(frame), 0.0f, 0.0f)});
  }
  helper.SetPositionKeys(std::move(keys));
  return scene;
}

bool ReadWholeFile(const std::string& path, std::string* contents) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  *contents = text.str();
  return true;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace kw::test
