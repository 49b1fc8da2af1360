// What an export reads a scene through: the scene itself, its conversion
// manager, the versions the scene-access library reports and that library's
// error channel. The in-memory scene is one; on the host, the plug-in's
// adapter over the host's own library is another. Everything here belongs to
// the one host object: two scenes exported at once share nothing.
#pragma once

#include "scene/scene_access.h"

namespace kw {

class SceneHost {
 public:
  virtual ~SceneHost() = default;
  // Null when there is no scene to export.
  virtual IGameScene* GetScene() = 0;
  virtual IGameConversionManager* GetConversionManager() = 0;
  virtual float GetIGameVersion() const { return 1.122f; }
  virtual float GetSupported3DSVersion() const { return 9.0f; }
  // Where the scene-access library's errors go (null: nowhere). While the
  // callback runs, GetLastErrorText() gives the error's text.
  virtual void SetErrorCallBack(IGameErrorCallBack* callback) = 0;
  virtual const char* GetLastErrorText() const = 0;
};

}  // namespace kw
