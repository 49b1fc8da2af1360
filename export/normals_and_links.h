// Per-corner services of the triangles writer: which normal a face corner
// gets, and the bone-link list that ends a vertex line.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "smd/spaced_floats_cache.h"
#include "scene/scene_access.h"

namespace kw {

class NodeRegistry;
class TextStream;

// Normals of corners 0, 1 and 2 of face, read with faceIndex: the face normal
// for smoothing group 0, otherwise each vertex's render normal for the face's
// groups. Requires faceIndex < faceNormals.size() and every vertex index of
// the face < renderVertices.size().
std::array<Point3, 3> CornerNormals(const HostMesh& hostMesh, const MeshFace& face, int faceIndex);

// The normal of renderVertex for a face of the given smoothing-group mask:
// the only normal when there is one, else the first whose groups share a bit
// with the mask, else the first. A vertex with no normals gets whenNone.
Point3 SelectVertexNormal(const RenderVertex& renderVertex, std::uint32_t smoothingGroup,
                          const Point3& whenNone);

// Appends the bone links of vertex to out: " n" and " bone weight" per link,
// bones as indices of nodes. Falls back to " 1 ownIndex 1.000000"
// when there is no skin, no link, or a link to a node that was not exported.
// Only asks the skin and the registry, so the text of a vertex never changes
// during an export.
// weightTexts, when given, keeps the text of weights seen before: skins
// repeat a few weights over and over.
void AppendBoneLinks(std::string& out, const NodeRegistry& nodes, int vertex, const IGameSkin* skin,
                     int ownIndex, SpacedFloatsCache<1>* weightTexts = nullptr);
// The same text written to out.
void WriteBoneLinks(TextStream& out, const NodeRegistry& nodes, int vertex, const IGameSkin* skin,
                    int ownIndex);

}  // namespace kw
