// The SMD reader on any bytes: it either takes the file in, with numbered
// problems, or refuses it in one line that names the file. What it takes in is
// checked against the compiler's limits and posed by every frame it holds. The
// check on the text as it streams past, in two chunks, agrees or declines.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_export.h"
#include "smd/limit_check.h"
#include "smd/skinning.h"
#include "smd/smd_reader.h"
#include "smd/stream_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  kw::smd::File file;
  std::string error;
  const bool read = kw::smd::ParseSmd(text, "fuzz.smd", &file, &error);
  kw::smd::StreamCheck stream;
  const std::size_t split = size > 0 ? data[0] % size : 0;
  stream.Feed(text.data(), split);
  stream.Feed(text.data() + split, size - split);
  kw::smd::Tally tally;
  if (stream.Finish(&tally)) {
    kw::fuzz::Check(read, "the stream check judges only what the reader takes in");
    const auto streamed = kw::smd::Findings(tally);
    const auto readBack = kw::smd::CheckLimits(file);
    kw::fuzz::Check(streamed.size() == readBack.size(), "the same number of findings");
    for (std::size_t i = 0; i < streamed.size() && i < readBack.size(); ++i) {
      kw::fuzz::Check(streamed[i].message == readBack[i].message, "the same findings");
    }
  }
  if (!read) {
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
