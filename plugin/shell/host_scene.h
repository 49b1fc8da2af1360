// The plug-in's adapter to its host: the host's scene-access and core
// libraries answer through free functions, and this SceneHost hands their
// answers to the export. It is the one place the exporter reaches for them.
#pragma once

#include "scene/scene_host.h"

namespace kw {

class HostScene : public SceneHost {
 public:
  IGameScene* GetScene() override;
  IGameConversionManager* GetConversionManager() override;
  Interface* GetCoreInterface() override;
  float GetIGameVersion() const override;
  float GetSupported3DSVersion() const override;
  void SetErrorCallBack(IGameErrorCallBack* callback) override;
};

// Stateless: one serves every session.
HostScene& TheHostScene();

}  // namespace kw
