#include "scene/scene_errors.h"

#include <cstdarg>
#include <cstdio>

namespace kw {

void SceneErrors::SetCallBack(IGameErrorCallBack* callback) {
  std::lock_guard<std::mutex> lock(mutex_);
  callback_ = callback;
}

void SceneErrors::Raise(int code, const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::lock_guard<std::mutex> lock(mutex_);
  lastText_ = text;
  if (callback_) callback_->ErrorProc(code);
}

}  // namespace kw
