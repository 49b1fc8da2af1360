// The SMD reader on any bytes: it either takes the file in, with numbered
// problems, or refuses it in one line that names the file. What it takes in is
// checked against the compiler's limits and posed by every frame it holds.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_export.h"
#include "smd/limit_check.h"
#include "smd/skinning.h"
#include "smd/smd_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  kw::smd::File file;
  std::string error;
  if (!kw::smd::ParseSmd(text, "fuzz.smd", &file, &error)) {
    kw::fuzz::Check(error.compare(0, 10, "fuzz.smd: ") == 0, "a refusal names the file");
    return 0;
  }
  kw::fuzz::Check(file.problems.size() <= 101, "problems beyond a hundred are only counted");
  for (const kw::smd::Node& node : file.nodes) {
    kw::fuzz::Check(node.index == &node - file.nodes.data(), "a node sits at its index");
  }
  kw::smd::CheckLimits(file);
  if (file.frames.empty()) return 0;
  const auto reference = kw::smd::WorldTransforms(file, file.frames.front());
  for (const kw::smd::Frame& frame : file.frames) {
    const auto skinning =
        kw::smd::SkinningMatrices(reference, kw::smd::WorldTransforms(file, frame));
    for (const kw::smd::Triangle& triangle : file.triangles) {
      for (const kw::smd::Vertex& vertex : triangle.corners) {
        kw::smd::SkinnedPosition(file, vertex, skinning);
      }
    }
  }
  return 0;
}
