#include <algorithm>
#include <cmath>
#include <cstdint>
#include <system_error>
#include <thread>
#include <vector>

#include "scene/memory_scene.h"

namespace kw {

namespace {

constexpr int kMaskBits = 32;

bool HasValidCorners(const MeshFace& face, std::size_t vertexCount) {
  return face.vertex[0] < vertexCount && face.vertex[1] < vertexCount &&
         face.vertex[2] < vertexCount;
}

// The corners of a face that name distinct vertices; a degenerate face that
// names one vertex twice counts there once.
int DistinctCorners(const MeshFace& face, int* corners) {
  int count = 0;
  for (int c = 0; c < 3; ++c) {
    bool seen = false;
    for (int d = 0; d < c; ++d) seen = seen || face.vertex[d] == face.vertex[c];
    if (!seen) corners[count++] = c;
  }
  return count;
}

// Interior angle of the face at corner c: the weight of the face normal in
// the vertex normal, so a normal does not depend on how a polygon was split
// into triangles.
float CornerAngle(const std::vector<Point3>& vertices, const MeshFace& face, int c) {
  const Point3& p = vertices[face.vertex[c]];
  const Point3 a = vertices[face.vertex[(c + 1) % 3]] - p;
  const Point3 b = vertices[face.vertex[(c + 2) % 3]] - p;
  const float la = Length(a);
  const float lb = Length(b);
  if (!(la > 0.0f) || !(lb > 0.0f)) return 0.0f;
  const float cosine = std::clamp(DotProd(a, b) / (la * lb), -1.0f, 1.0f);
  return std::acos(cosine);
}

struct Corner {
  Point3 weightedNormal;
  std::uint32_t smoothingGroup = 0;
};

int FindRoot(std::vector<int>& parent, int i) {
  while (parent[static_cast<std::size_t>(i)] != i) {
    int& up = parent[static_cast<std::size_t>(i)];
    up = parent[static_cast<std::size_t>(up)];
    i = up;
  }
  return i;
}

// Runs work(begin, end) over [0, count) in two halves, the second on a
// thread of its own when the count makes that worth a thread. Each half
// writes only its own elements, so the results do not depend on the split.
template <typename Work>
void InTwoHalves(std::size_t count, const Work& work) {
  constexpr std::size_t kWorthAThread = std::size_t{1} << 15;
  if (count < kWorthAThread) return work(std::size_t{0}, count);
  const std::size_t middle = count / 2;
  std::thread second;
  try {
    second = std::thread([&work, middle, count] { work(middle, count); });
  } catch (const std::system_error&) {
    return work(std::size_t{0}, count);
  }
  work(std::size_t{0}, middle);
  second.join();
}

}  // namespace

// Vertex normals are angle-weighted sums of the face normals of one group of
// faces that share smoothing bits. The work is linear in the number of
// corners: the faces around each vertex are gathered once (a compressed
// adjacency list), and faces are joined through the first face seen with
// each bit instead of being compared pairwise. Big meshes share the faces'
// arithmetic and the vertices between two threads.
void MemoryMesh::ComputeNormals() {
  const std::size_t vertexCount = vertices.size();
  const std::size_t faceCount = faces.size();

  // The face normals and the angle at each corner, face by face; the angles
  // of faces that smooth nothing are never read.
  hostMesh.faceNormals.assign(faceCount, Point3());
  std::vector<float> angles(faceCount * 3);
  InTwoHalves(faceCount, [&](std::size_t begin, std::size_t end) {
    int distinct[3];
    for (std::size_t f = begin; f < end; ++f) {
      const MeshFace& face = faces[f];
      if (!HasValidCorners(face, vertexCount)) continue;
      const Point3& p0 = vertices[face.vertex[0]];
      hostMesh.faceNormals[f] =
          CrossProd(vertices[face.vertex[1]] - p0, vertices[face.vertex[2]] - p0).Normalize();
      if (face.smoothingGroup == 0) continue;
      const int n = DistinctCorners(face, distinct);
      for (int k = 0; k < n; ++k)
        angles[f * 3 + distinct[k]] = CornerAngle(vertices, face, distinct[k]);
    }
  });

  std::vector<std::size_t> firstCorner(vertexCount + 1, 0);
  int corners[3];
  for (const MeshFace& face : faces) {
    if (face.smoothingGroup == 0 || !HasValidCorners(face, vertexCount)) continue;
    const int n = DistinctCorners(face, corners);
    for (int k = 0; k < n; ++k) ++firstCorner[face.vertex[corners[k]] + 1];
  }
  std::size_t maxValence = 0;
  for (std::size_t v = 0; v < vertexCount; ++v) {
    maxValence = std::max(maxValence, firstCorner[v + 1]);
    firstCorner[v + 1] += firstCorner[v];
  }
  // Each entry holds what the vertex pass needs of one corner, so that pass
  // reads its corners in sequence instead of jumping between faces.
  std::vector<Corner> cornerOf(firstCorner[vertexCount]);
  {
    std::vector<std::size_t> fill(firstCorner.begin(), firstCorner.end() - 1);
    for (std::size_t f = 0; f < faceCount; ++f) {
      const MeshFace& face = faces[f];
      if (face.smoothingGroup == 0 || !HasValidCorners(face, vertexCount)) continue;
      const int n = DistinctCorners(face, corners);
      for (int k = 0; k < n; ++k) {
        Corner& corner = cornerOf[fill[face.vertex[corners[k]]]++];
        corner.weightedNormal = hostMesh.faceNormals[f] * angles[f * 3 + corners[k]];
        corner.smoothingGroup = face.smoothingGroup;
      }
    }
  }
  angles = std::vector<float>();

  hostMesh.renderVertices.resize(vertexCount);
  InTwoHalves(vertexCount, [&](std::size_t begin, std::size_t end) {
    std::vector<int> parent(maxValence);
    std::vector<int> slotOfRoot(maxValence);
    // Groups never share a bit and each has one, so a vertex has at most 32.
    RenderNormal groups[kMaskBits];
    int ownerOfBit[kMaskBits];

    for (std::size_t v = begin; v < end; ++v) {
      const std::size_t first = firstCorner[v];
      const int valence = static_cast<int>(firstCorner[v + 1] - first);

      std::fill(ownerOfBit, ownerOfBit + kMaskBits, -1);
      for (int j = 0; j < valence; ++j) {
        parent[static_cast<std::size_t>(j)] = j;
        std::uint32_t mask = cornerOf[first + static_cast<std::size_t>(j)].smoothingGroup;
        for (int bit = 0; mask != 0; ++bit, mask >>= 1) {
          if ((mask & 1u) == 0) continue;
          if (ownerOfBit[bit] < 0) {
            ownerOfBit[bit] = j;
          } else {
            const int a = FindRoot(parent, j);
            const int b = FindRoot(parent, ownerOfBit[bit]);
            // The earlier face stays the root so groups keep face order.
            parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
          }
        }
      }

      int groupCount = 0;
      for (int j = 0; j < valence; ++j) {
        const Corner& corner = cornerOf[first + static_cast<std::size_t>(j)];
        const int root = FindRoot(parent, j);
        int& slot = slotOfRoot[static_cast<std::size_t>(root)];
        if (root == j) {
          slot = groupCount++;
          groups[slot] = RenderNormal();
        }
        RenderNormal& group = groups[slot];
        group.normal = group.normal + corner.weightedNormal;
        group.smoothingGroup |= corner.smoothingGroup;
      }

      RenderVertex& out = hostMesh.renderVertices[v];
      out.flags = static_cast<std::uint32_t>(groupCount);
      out.singleNormal = RenderNormal();
      out.extraNormals.clear();
      for (int g = 0; g < groupCount; ++g) groups[g].normal = groups[g].normal.Normalize();
      if (groupCount == 1) {
        out.singleNormal = groups[0];
      } else if (groupCount > 1) {
        out.extraNormals.assign(groups, groups + groupCount);
      }
    }
  });
}

}  // namespace kw
