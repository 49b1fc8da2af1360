#include "plugin/host_stub/host_services.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// The host library's own state: one host per process, as on the real host.
kw::SceneHost* g_sceneHost = nullptr;
Interface* g_core = nullptr;
DebugSink g_debugSink = nullptr;
void* g_debugContext = nullptr;

}  // namespace

void SetSceneHost(kw::SceneHost* host) { g_sceneHost = host; }
kw::SceneHost* GetSceneHost() { return g_sceneHost; }
void SetCoreInterface(Interface* core) { g_core = core; }

void SetDebugSink(DebugSink sink, void* context) {
  g_debugSink = sink;
  g_debugContext = context;
}

Interface* GetCOREInterface() { return g_core; }

IGameScene* GetIGameInterface() { return g_sceneHost ? g_sceneHost->GetScene() : nullptr; }
IGameConversionManager* GetConversionManager() {
  return g_sceneHost ? g_sceneHost->GetConversionManager() : nullptr;
}
float GetIGameVersion() { return g_sceneHost ? g_sceneHost->GetIGameVersion() : 0.0f; }
float GetSupported3DSVersion() {
  return g_sceneHost ? g_sceneHost->GetSupported3DSVersion() : 0.0f;
}
void SetErrorCallBack(IGameErrorCallBack* callback) {
  if (g_sceneHost) g_sceneHost->SetErrorCallBack(callback);
}
const char* GetLastIGameErrorText() {
  const char* text = g_sceneHost ? g_sceneHost->GetLastErrorText() : nullptr;
  return text ? text : "";
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
