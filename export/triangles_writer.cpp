#include "export/triangles_writer.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "export/background_worker.h"
#include "export/batch_pipeline.h"
#include "export/face_batch.h"
#include "export/mesh_faces.h"
#include "export/normals_and_links.h"
#include "smd/number_format.h"
#include "smd/text_output.h"

namespace kw {

namespace {

// The bone-link text of each vertex, built the first time a face uses it: a
// vertex is shared by about six faces, and its weights are most of the
// numbers on its lines. The texts live in one arena allocated up front and
// touched only as it fills; past its end, or for vertices beyond the table,
// the text is built on every use.
class BoneLinkTexts {
 public:
  BoneLinkTexts(const NodeRegistry& nodes, const IGameSkin* skin, int ownIndex, int vertexCount)
      : nodes_(nodes), skin_(skin), ownIndex_(ownIndex) {
    const std::size_t vertices = static_cast<std::size_t>(vertexCount);
    const std::size_t tabled = vertices < kMaxTabled ? vertices : kMaxTabled;
    start_.assign(tabled, 0);
    length_.assign(tabled, 0);
    capacity_ = tabled * kTypicalLength < kArenaBytes ? tabled * kTypicalLength : kArenaBytes;
    // Padded so that the last text can be copied as whole words too.
    if (capacity_ > 0) arena_.reset(new char[capacity_ + kPadding]);
  }

  // The text of vertex. *kept tells that it stays valid, and readable for
  // kPadding bytes from its start, as long as this; otherwise only until
  // the next call.
  std::string_view Text(int vertex, bool* kept) {
    const auto v = static_cast<std::size_t>(vertex);
    if (v < length_.size() && length_[v] != 0) {
      *kept = true;
      return std::string_view(arena_.get() + start_[v], length_[v]);
    }
    scratch_.clear();
    AppendBoneLinks(scratch_, nodes_, vertex, skin_, ownIndex_, &weightTexts_);
    // Every text starts with ' ', so a stored length is never 0.
    if (v < length_.size() && scratch_.size() <= kMaxLength &&
        scratch_.size() <= capacity_ - used_) {
      std::memcpy(arena_.get() + used_, scratch_.data(), scratch_.size());
      start_[v] = static_cast<std::uint32_t>(used_);
      length_[v] = static_cast<std::uint8_t>(scratch_.size());
      used_ += scratch_.size();
      *kept = true;
      return std::string_view(arena_.get() + start_[v], length_[v]);
    }
    *kept = false;
    return scratch_;
  }

 private:
  // Together at most 2.5 MiB of tables and 20 MiB of text per mesh.
  static constexpr std::size_t kMaxTabled = std::size_t{1} << 19;
  static constexpr std::size_t kArenaBytes = std::size_t{20} << 20;
  static constexpr std::size_t kTypicalLength = 56;
  static constexpr std::size_t kMaxLength = 255;
  // Four links fit; such texts are copied as whole words.
  static constexpr std::size_t kPadding = 64;
  static_assert(kPadding >= FaceBatch::kPaddedLinks, "kept texts are read as whole words");

  const NodeRegistry& nodes_;
  const IGameSkin* skin_;
  int ownIndex_;
  std::vector<std::uint32_t> start_;
  std::vector<std::uint8_t> length_;
  std::unique_ptr<char[]> arena_;
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;
  std::string scratch_;
  SpacedFloatsCache<1> weightTexts_{10};
};

void WriteMesh(const SectionInput& input, FaceLinesWriter& writer,
               std::unique_ptr<BackgroundWorker>& worker, const NodeRecord& record) {
  MeshFaces faces(input.warnings);
  if (!faces.Open(record)) return;
  const int faceCount = faces.FaceCount();
  BoneLinkTexts links(input.nodes, faces.Skin(), record.index, faces.VertexCount());
  if (!worker && static_cast<std::size_t>(faceCount) > FaceBatch::kFaces) {
    worker = BackgroundWorker::StartIfPossible();
  }
  const std::string boneText = Int3Text(record.index);
  BatchPipeline<FaceBatch> pipeline(input.smd, faceCount > 0 ? worker.get() : nullptr,
                                    FaceBatch(boneText, &writer), FaceBatch(boneText, &writer));
  for (int i = 0; i < faceCount; ++i) {
    MeshFace face;
    CornerValues corners[3];
    const TextureLine* texture = nullptr;
    const FaceRead read = faces.Read(i, &face, corners, &texture);
    if (read == FaceRead::kSkip) continue;
    if (read == FaceRead::kEndMesh) break;
    bool linksKept[3];
    std::string unkept[3];  // a link text the cache could not hold
    for (int k = 0; k < 3; ++k) {
      CornerValues& corner = corners[k];
      corner.links = links.Text(static_cast<int>(face.vertex[k]), &linksKept[k]);
      if (!linksKept[k]) {
        unkept[k].assign(corner.links.data(), corner.links.size());
        corner.links = unkept[k];
      }
    }
    pipeline.Current().Add(*texture, corners, linksKept);
    if (pipeline.Current().Full()) {
      pipeline.Ship();
      if (input.smd.Failed()) break;  // nothing more can be written
    }
  }
  pipeline.Finish();
}

}  // namespace

void WriteTriangles(const SectionInput& input) {
  if (input.options.exportSequence) return;
  input.smd.Put("triangles\n");
  FaceLinesWriter writer;
  std::unique_ptr<BackgroundWorker> worker;  // started by the first big mesh
  for (const std::unique_ptr<NodeRecord>& record : input.nodes.Nodes()) {
    if (input.smd.Failed()) break;
    if (record->objectType == kObjectMesh) WriteMesh(input, writer, worker, *record);
  }
  input.smd.Put("end\n");
}

}  // namespace kw
