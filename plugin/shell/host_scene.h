// The plug-in's host as the exporter asks it: the answers of the host's own
// free functions, the one place the exporter reaches for them.
#pragma once

#include "plugin/shell/kestrelworks.h"

namespace kw {

class HostScene : public PluginHost {
 public:
  IGameScene* GetScene() override;
  IGameConversionManager* GetConversionManager() override;
  float GetIGameVersion() const override;
  float GetSupported3DSVersion() const override;
  void SetErrorCallBack(IGameErrorCallBack* callback) override;
  const char* GetLastErrorText() const override;
  Interface* GetCoreInterface() override;
};

}  // namespace kw
