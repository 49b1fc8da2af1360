// What the test host installs in the stand-in host library for one test:
// its core interface and a scene host over an in-memory scene, both counting
// what the plug-in asked of them. The in-memory scene itself counts nothing.
#pragma once

#include "plugin/host_stub/host_services.h"
#include "scene/memory_scene.h"

namespace kw::test {

class HostCore : public Interface {
 public:
  explicit HostCore(HostWindow mainWindow) : mainWindow_(mainWindow) {}
  int RedrawCalls() const { return redrawCalls_; }

  HostWindow GetMAXHWnd() override { return mainWindow_; }
  void ForceCompleteRedraw() override { ++redrawCalls_; }

 private:
  HostWindow mainWindow_;
  int redrawCalls_ = 0;
};

class SceneSpy : public SceneHost, public IGameScene, public IGameConversionManager {
 public:
  explicit SceneSpy(MemoryScene& scene) : scene_(scene) {}

  int InitialiseCalls() const { return initialiseCalls_; }
  bool InitialisedSelectedOnly() const { return selectedOnly_; }
  int ReleaseCalls() const { return releaseCalls_; }
  MemoryScene& Scene() { return scene_; }

  // SceneHost
  IGameScene* GetScene() override { return this; }
  IGameConversionManager* GetConversionManager() override { return this; }
  void SetErrorCallBack(IGameErrorCallBack* callback) override {
    scene_.SetErrorCallBack(callback);
  }
  const char* GetLastErrorText() const override { return scene_.GetLastErrorText(); }

  // IGameConversionManager
  void SetCoordSystem(int) override {}

  // IGameScene
  bool Initialise(bool selectedOnly) override {
    ++initialiseCalls_;
    selectedOnly_ = selectedOnly;
    return scene_.Initialise(selectedOnly);
  }
  void SetStaticFrame(int frame) override { scene_.SetStaticFrame(frame); }
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
  MemoryScene& scene_;
  int initialiseCalls_ = 0;
  bool selectedOnly_ = false;
  int releaseCalls_ = 0;
};

}  // namespace kw::test
