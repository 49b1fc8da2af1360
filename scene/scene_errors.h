// The error channel of one in-memory scene, as the scene-access library has
// one: a getter asked for an index its object does not have records the
// text and calls the callback the export registered. Getters may be called
// from an export's second thread, so raising is serialised.
#pragma once

#include <mutex>
#include <string>

#include "scene/scene_access.h"

namespace kw {

class SceneErrors {
 public:
  void SetCallBack(IGameErrorCallBack* callback);
  // The text of the error being raised; empty before the first.
  const char* LastText() const { return lastText_.c_str(); }
  // printf-style text; the callback, if any, is called with code.
  void Raise(int code, const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
      ;

 private:
  std::mutex mutex_;
  IGameErrorCallBack* callback_ = nullptr;
  std::string lastText_;
};

}  // namespace kw
