#include "export/normals_and_links.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "export/node_registry.h"
#include "smd/number_format.h"
#include "smd/text_output.h"

namespace kw {

std::array<Point3, 3> CornerNormals(const HostMesh& hostMesh, const MeshFace& face, int faceIndex) {
  const Point3& faceNormal = hostMesh.faceNormals[static_cast<std::size_t>(faceIndex)];
  if (face.smoothingGroup == 0) return {faceNormal, faceNormal, faceNormal};
  std::array<Point3, 3> normals;
  for (int k = 0; k < 3; ++k) {
    normals[k] = SelectVertexNormal(hostMesh.renderVertices[face.vertex[k]], face.smoothingGroup,
                                    faceNormal);
  }
  return normals;
}

Point3 SelectVertexNormal(const RenderVertex& renderVertex, std::uint32_t smoothingGroup,
                          const Point3& whenNone) {
  const std::size_t count = renderVertex.flags & 0xFFu;
  if (count == 1) return renderVertex.singleNormal.normal;
  // A hand-made vertex may claim more normals than it holds.
  const std::size_t usable = std::min(count, renderVertex.extraNormals.size());
  if (usable == 0) return whenNone;
  for (std::size_t k = 0; k < usable; ++k) {
    const RenderNormal& entry = renderVertex.extraNormals[k];
    if ((entry.smoothingGroup & smoothingGroup) != 0) return entry.normal;
  }
  return renderVertex.extraNormals[0].normal;
}

namespace {

// Bones found in the validation pass are kept for the writing pass up to
// this many links; a vertex with more is looked up again.
constexpr int kRememberedLinks = 32;

void AppendInt(std::string& out, int value) {
  char digits[11];
  out.append(digits, FormatInt(value, digits));
}

void AppendFallback(std::string& out, int ownIndex) {
  out += " 1 ";
  AppendInt(out, ownIndex);
  out += " 1.000000";
}

}  // namespace

void AppendBoneLinks(std::string& out, const NodeRegistry& nodes, int vertex, const IGameSkin* skin,
                     int ownIndex, SpacedFloatsCache<1>* weightTexts) {
  if (!skin) {
    AppendFallback(out, ownIndex);
    return;
  }
  const int count = skin->GetBoneCount(vertex);
  if (count <= 0) {
    AppendFallback(out, ownIndex);
    return;
  }
  int bones[kRememberedLinks];
  for (int k = 0; k < count; ++k) {
    const int bone = nodes.LookupNodeIndex(skin->GetBoneNodeId(vertex, k));
    if (bone == -1) {
      // One bone outside the export binds the whole vertex to the mesh.
      AppendFallback(out, ownIndex);
      return;
    }
    if (k < kRememberedLinks) bones[k] = bone;
  }
  // Made in one buffer and appended once: this runs for every vertex.
  char text[kRememberedLinks * (2 + 11 + SpacedFloatsCache<1>::kRoom) + 12];
  char* p = text;
  *p++ = ' ';
  p += FormatInt(count, p);
  for (int k = 0; k < count; ++k) {
    if (k == kRememberedLinks) {
      out.append(text, static_cast<std::size_t>(p - text));
      p = text;
    }
    const int bone =
        k < kRememberedLinks ? bones[k] : nodes.LookupNodeIndex(skin->GetBoneNodeId(vertex, k));
    *p++ = ' ';
    p += FormatInt(bone, p);
    const float weight = skin->GetWeight(vertex, k);
    if (weightTexts) {
      std::uint32_t bits;
      std::memcpy(&bits, &weight, sizeof bits);
      p += weightTexts->Write({weight}, (bits * 0x9E3779B1u) >> 16, p);
    } else {
      *p++ = ' ';
      p += FormatFixed6(weight, p);
    }
    // Past the remembered links, one at a time.
    if (k >= kRememberedLinks) {
      out.append(text, static_cast<std::size_t>(p - text));
      p = text;
    }
  }
  out.append(text, static_cast<std::size_t>(p - text));
}

void WriteBoneLinks(TextStream& out, const NodeRegistry& nodes, int vertex, const IGameSkin* skin,
                    int ownIndex) {
  std::string text;
  AppendBoneLinks(text, nodes, vertex, skin, ownIndex);
  out.Put(text);
}

}  // namespace kw
