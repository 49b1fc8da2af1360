#include "plugin/shell/host_scene.h"

namespace kw {

IGameScene* HostScene::GetScene() { return GetIGameInterface(); }
IGameConversionManager* HostScene::GetConversionManager() { return ::GetConversionManager(); }
float HostScene::GetIGameVersion() const { return ::GetIGameVersion(); }
float HostScene::GetSupported3DSVersion() const { return ::GetSupported3DSVersion(); }
void HostScene::SetErrorCallBack(IGameErrorCallBack* callback) { ::SetErrorCallBack(callback); }
const char* HostScene::GetLastErrorText() const { return GetLastIGameErrorText(); }
Interface* HostScene::GetCoreInterface() { return GetCOREInterface(); }

}  // namespace kw
