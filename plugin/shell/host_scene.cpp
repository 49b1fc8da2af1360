#include "plugin/shell/host_scene.h"

namespace kw {

IGameScene* HostScene::GetScene() { return GetIGameInterface(); }
IGameConversionManager* HostScene::GetConversionManager() { return ::GetConversionManager(); }
Interface* HostScene::GetCoreInterface() { return GetCOREInterface(); }
float HostScene::GetIGameVersion() const { return ::GetIGameVersion(); }
float HostScene::GetSupported3DSVersion() const { return ::GetSupported3DSVersion(); }
void HostScene::SetErrorCallBack(IGameErrorCallBack* callback) { ::SetErrorCallBack(callback); }

HostScene& TheHostScene() {
  static HostScene host;
  return host;
}

}  // namespace kw
