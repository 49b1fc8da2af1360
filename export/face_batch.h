// A run of a mesh's faces as the values their lines print, and the making of
// those lines. The export's thread gathers the values, since a host answers
// only that thread; the text can then be made on another while it gathers the
// next run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "smd/spaced_floats_cache.h"
#include "scene/scene_access.h"

namespace kw {

class FaceLinesWriter;

// The line that starts a face: its texture name. Short names are copied as
// whole words, past their end.
class TextureLine {
 public:
  static constexpr std::size_t kPadding = 32;

  explicit TextureLine(std::string_view name);
  const char* Data() const { return text_.data(); }
  // Of the name and its line end.
  std::size_t Length() const { return length_; }

 private:
  std::string text_;  // the name, '\n', then kPadding NULs
  std::size_t length_;
};

// What one vertex line of a face prints, after the mesh's bone index.
struct CornerValues {
  Point3 position;
  Point3 normal;
  Point2 uv;
  std::uint32_t vertex;     // where the texts of position and normal are kept
  std::uint32_t texVertex;  // where the text of uv is kept
  std::string_view links;   // " n bone weight ...", valid until the batch is written
};

class FaceBatch {
 public:
  static constexpr std::size_t kFaces = 2048;
  // Kept link texts up to this long are copied as whole words.
  static constexpr std::size_t kPaddedLinks = 64;

  // boneText: the mesh's node index as "%3d" prints it; writer makes the
  // lines, in one part, as it keeps texts from batch to batch.
  FaceBatch(std::string_view boneText, FaceLinesWriter* writer);

  bool Full() const { return faces_.size() >= kFaces; }
  bool Empty() const { return faces_.empty(); }
  void Clear();

  // texture must outlive the batch's writing. A link text that would not
  // (linksKept false) is copied into the batch.
  void Add(const TextureLine& texture, const CornerValues (&corners)[3],
           const bool (&linksKept)[3]);

  // Bytes a buffer needs for the lines of this batch.
  std::size_t TextBound() const { return textBound_; }

  // The lines as one part (BatchPipeline).
  std::size_t Parts() const { return 1; }
  std::size_t PartBound(std::size_t) const { return textBound_; }
  std::size_t WritePart(std::size_t part, char* out) const;

 private:
  friend class FaceLinesWriter;

  struct Corner {
    float position[3];
    float normal[3];
    float uv[2];
    std::uint32_t vertex;
    std::uint32_t texVertex;
    const char* links;  // null: at linksAt in copiedLinks_
    std::uint32_t linksAt;
    std::uint32_t linksLength;
  };
  struct Face {
    const TextureLine* texture;
    Corner corners[3];
  };

  std::string boneText_;
  FaceLinesWriter* writer_;
  std::vector<Face> faces_;
  std::string copiedLinks_;
  std::size_t textBound_;
};

// Makes the lines of batches, remembering the text of every position, normal
// and texture coordinate for the lines that repeat them. Batches of any mesh
// may follow each other; one at a time.
class FaceLinesWriter {
 public:
  FaceLinesWriter();
  // Writes the batch's lines to out, which holds batch.TextBound() bytes, and
  // returns their length.
  std::size_t Write(const FaceBatch& batch, char* out);

 private:
  // 1 MiB each: the faces around a vertex of a grid four thousand vertices
  // wide still find its texts.
  SpacedFloatsCache<3> positions_{14};
  SpacedFloatsCache<3> normals_{14};
  SpacedFloatsCache<2> uvs_{14};
};

}  // namespace kw
