#include "export/face_batch.h"

#include <cstring>

namespace kw {

namespace {

// The longest text of eight floats with their spaces.
constexpr std::size_t kNumbersText =
    SpacedFloatsCache<3>::kLongestText * 2 + SpacedFloatsCache<2>::kLongestText;
// Past the last line: the room the last copy or number may ask beyond its text.
constexpr std::size_t kSlack = SpacedFloatsCache<3>::kRoom + 64;

}  // namespace

TextureLine::TextureLine(std::string_view name) : text_(name), length_(name.size() + 1) {
  text_ += '\n';
  text_.append(kPadding, '\0');
}

FaceBatch::FaceBatch(std::string_view boneText, FaceLinesWriter* writer)
    : boneText_(boneText), writer_(writer), textBound_(kSlack) {
  faces_.reserve(kFaces);
}

void FaceBatch::Clear() {
  faces_.clear();
  copiedLinks_.clear();
  textBound_ = kSlack;
}

void FaceBatch::Add(const TextureLine& texture, const CornerValues (&corners)[3],
                    const bool (&linksKept)[3]) {
  Face face;
  face.texture = &texture;
  textBound_ += texture.Length();
  for (int k = 0; k < 3; ++k) {
    const CornerValues& in = corners[k];
    Corner& out = face.corners[k];
    out.position[0] = in.position.x;
    out.position[1] = in.position.y;
    out.position[2] = in.position.z;
    out.normal[0] = in.normal.x;
    out.normal[1] = in.normal.y;
    out.normal[2] = in.normal.z;
    out.uv[0] = in.uv.x;
    out.uv[1] = in.uv.y;
    out.vertex = in.vertex;
    out.texVertex = in.texVertex;
    out.linksLength = static_cast<std::uint32_t>(in.links.size());
    if (linksKept[k]) {
      out.links = in.links.data();
      out.linksAt = 0;
    } else {
      // Offsets, not pointers: the copies move as the string grows.
      out.links = nullptr;
      out.linksAt = static_cast<std::uint32_t>(copiedLinks_.size());
      copiedLinks_.append(in.links.data(), in.links.size());
    }
    textBound_ += boneText_.size() + kNumbersText + in.links.size() + 1;
  }
  faces_.push_back(face);
}

std::size_t FaceBatch::WritePart(std::size_t, char* out) const {
  return writer_->Write(*this, out);
}

FaceLinesWriter::FaceLinesWriter() = default;

std::size_t FaceLinesWriter::Write(const FaceBatch& batch, char* out) {
  char* p = out;
  const std::string_view bone = batch.boneText_;
  for (const FaceBatch::Face& face : batch.faces_) {
    const TextureLine& texture = *face.texture;
    if (texture.Length() <= TextureLine::kPadding) {
      std::memcpy(p, texture.Data(), TextureLine::kPadding);
    } else {
      std::memcpy(p, texture.Data(), texture.Length());
    }
    p += texture.Length();
    for (const FaceBatch::Corner& corner : face.corners) {
      std::memcpy(p, bone.data(), bone.size());
      p += bone.size();
      p += positions_.Write(corner.position, corner.vertex, p);
      p += normals_.Write(corner.normal, corner.vertex, p);
      p += uvs_.Write(corner.uv, corner.texVertex, p);
      if (!corner.links) {
        std::memcpy(p, batch.copiedLinks_.data() + corner.linksAt, corner.linksLength);
      } else if (corner.linksLength <= FaceBatch::kPaddedLinks) {
        std::memcpy(p, corner.links, FaceBatch::kPaddedLinks);
      } else {
        std::memcpy(p, corner.links, corner.linksLength);
      }
      p += corner.linksLength;
      *p++ = '\n';
    }
  }
  return static_cast<std::size_t>(p - out);
}

}  // namespace kw
