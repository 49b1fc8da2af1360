// What the test host installs in the stand-in host library for one test:
// its core interface and a scene host over an in-memory scene, both counting
// what the plug-in asked of them. The in-memory scene itself counts nothing.
#pragma once

#include "plugin/host_stub/host_services.h"
#include "scene/memory_scene.h"
// The scene host counting what was asked of it, as the native tests have it.
#include "tests/support/scene_spy.h"

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

}  // namespace kw::test
