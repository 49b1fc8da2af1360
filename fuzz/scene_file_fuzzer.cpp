// The scene-file reader on any text: it either gives a scene, one the
// whole-document reader takes as well, or one line that names the file. A
// scene it gives is exported, reference and sequence, with the same checks
// as the builder's fuzz target.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

#include "fuzz/fuzz_export.h"
#include "readers/scene_file/direct_reader.h"
#include "readers/scene_file/document_reader.h"
#include "readers/scene_file/scene_file.h"

using kw::ExportOptions;
using kw::MemoryScene;
using kw::ParseSceneText;

namespace {

// Poses per sequence export, wherever the scene's range lies.
constexpr int kMaxFrameSpan = 16;

bool TakenDirectly(const std::string& text, std::size_t window) {
  std::size_t at = 0;
  return kw::scene_file::ReadSceneDirect(
             [&](char* into, std::size_t size) {
               const std::size_t n = text.copy(into, size, at);
               at += n;
               return n;
             },
             window) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  // Most scenes are read straight into the scene's arrays, a window at a
  // time; the whole-document reader, which explains refusals, must take each
  // of them too.
  const bool direct = TakenDirectly(text, kw::scene_file::kDirectReaderWindow);
  // Windows of a few bytes split every token somewhere; a few dozen let the
  // big arrays be cut into chunks of whole elements.
  const std::size_t window = size % 2 == 0 ? 1 + size % 7 : 8 + size % 120;
  kw::fuzz::Check(direct == TakenDirectly(text, window),
                  "the direct reader takes a text alike through any window");
  std::unique_ptr<MemoryScene> scene = ParseSceneText(text, "fuzz.json", &error);
  if (!scene) {
    kw::fuzz::Check(!error.empty(), "a refused file says why");
    kw::fuzz::Check(error.compare(0, 10, "fuzz.json:") == 0, "a refusal names the file");
    // Not checked: that it is one line. A member name with a line break comes
    // back raw inside the JSON pointer; the command line escapes it.
    return 0;
  }
  kw::fuzz::Check(error.empty(), "a read scene leaves no error");
  kw::fuzz::Check(
      !direct || kw::scene_file::ReadSceneDocument(text, "fuzz.json", &error) != nullptr,
      "a scene read directly is one the document reader takes");

  const int ticksPerFrame = scene->GetTicksPerFrame();
  kw::fuzz::Check(ticksPerFrame >= 1, "the reader refuses ticks per frame below 1");

  ExportOptions reference;
  reference.exportSequence = false;
  kw::fuzz::ExportAndCheck(*scene, reference, false);

  ExportOptions sequence;
  sequence.exportSequence = true;
  sequence.startFrame = scene->GetStartTicks() / ticksPerFrame;
  const int endFrame = scene->GetEndTicks() / ticksPerFrame;
  sequence.endFrame =
      std::min(endFrame, sequence.startFrame > std::numeric_limits<int>::max() - kMaxFrameSpan
                             ? std::numeric_limits<int>::max()
                             : sequence.startFrame + kMaxFrameSpan);
  sequence.reverseSequence = size % 2;
  kw::fuzz::ExportAndCheck(*scene, sequence, (size / 2) % 2 == 1);
  return 0;
}
