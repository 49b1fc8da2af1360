// A SceneHost that hands an export a MemoryScene and records what the export
// did to it: how often it was initialised and released, the static frame
// and coordinate system asked for, and whether an error callback is
// registered. The in-memory scene itself keeps none of this.
#pragma once

#include "scene/memory_scene.h"

namespace kw::test {

class SceneSpy : public kw::SceneHost, public IGameScene, public IGameConversionManager {
 public:
  explicit SceneSpy(kw::MemoryScene& scene) : scene_(scene) {}

  int InitialiseCalls() const { return initialiseCalls_; }
  bool InitialisedSelectedOnly() const { return selectedOnly_; }
  int ReleaseCalls() const { return releaseCalls_; }
  int StaticFrame() const { return staticFrame_; }
  int CoordSystem() const { return coordSystem_; }
  IGameErrorCallBack* ErrorCallBack() const { return callback_; }
  kw::MemoryScene& Scene() { return scene_; }

  // SceneHost
  IGameScene* GetScene() override { return this; }
  IGameConversionManager* GetConversionManager() override { return this; }
  void SetErrorCallBack(IGameErrorCallBack* callback) override {
    callback_ = callback;
    scene_.SetErrorCallBack(callback);
  }
  const char* GetLastErrorText() const override { return scene_.GetLastErrorText(); }

  // IGameConversionManager
  void SetCoordSystem(int system) override { coordSystem_ = system; }

  // IGameScene
  bool Initialise(bool selectedOnly) override {
    ++initialiseCalls_;
    selectedOnly_ = selectedOnly;
    return scene_.Initialise(selectedOnly);
  }
  void SetStaticFrame(int frame) override {
    staticFrame_ = frame;
    scene_.SetStaticFrame(frame);
  }
  int GetStartTicks() const override { return scene_.GetStartTicks(); }
  int GetEndTicks() const override { return scene_.GetEndTicks(); }
  int GetTicksPerFrame() const override { return scene_.GetTicksPerFrame(); }
  int GetTopLevelNodeCount() const override { return scene_.GetTopLevelNodeCount(); }
  SceneNode* GetTopLevelNode(int i) override { return scene_.GetTopLevelNode(i); }
  void Release() override {
    ++releaseCalls_;
    scene_.Release();
  }

 private:
  kw::MemoryScene& scene_;
  int initialiseCalls_ = 0;
  bool selectedOnly_ = false;
  int releaseCalls_ = 0;
  int staticFrame_ = -1;
  int coordSystem_ = -1;
  IGameErrorCallBack* callback_ = nullptr;
};

}  // namespace kw::test
