#include "host/scene_host.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

SceneHost* g_host = nullptr;
// Per thread: exports running at once on several threads each register their
// callback and read back their own last error, as the scene is only ever asked
// from the thread that runs its export.
thread_local IGameErrorCallBack* g_errorCallback = nullptr;
thread_local std::string g_lastErrorText;
DebugSink g_debugSink = nullptr;
void* g_debugContext = nullptr;

}  // namespace

void SetSceneHost(SceneHost* host) { g_host = host; }
SceneHost* GetSceneHost() { return g_host; }

IGameScene* GetIGameInterface() { return g_host ? g_host->GetScene() : nullptr; }
IGameConversionManager* GetConversionManager() {
  return g_host ? g_host->GetConversionManager() : nullptr;
}
float GetIGameVersion() { return g_host ? g_host->GetIGameVersion() : 0.0f; }
float GetSupported3DSVersion() { return g_host ? g_host->GetSupported3DSVersion() : 0.0f; }
Interface* GetCOREInterface() { return g_host ? g_host->GetCoreInterface() : nullptr; }

void SetErrorCallBack(IGameErrorCallBack* callback) { g_errorCallback = callback; }
void SceneHost::SetErrorCallBack(IGameErrorCallBack* callback) { ::SetErrorCallBack(callback); }
const char* GetLastIGameErrorText() { return g_lastErrorText.c_str(); }

void RaiseIGameError(int code, const char* text) {
  g_lastErrorText = text ? text : "";
  if (IGameErrorCallBack* callback = g_errorCallback) callback->ErrorProc(code);
}

void SetDebugSink(DebugSink sink, void* context) {
  g_debugSink = sink;
  g_debugContext = context;
}

void DebugPrint(const char* format, ...) {
  if (!g_debugSink) return;
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length >= 0) {
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    g_debugSink(text.data(), g_debugContext);
  }
  va_end(args);
}

void* MaxHeapOperators::operator new(std::size_t size) noexcept { return std::malloc(size); }
void* MaxHeapOperators::operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size);
}
void MaxHeapOperators::operator delete(void* p) noexcept { std::free(p); }
