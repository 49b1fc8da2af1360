#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>
#include <vector>

#include "readers/model_import/import_parts.h"

namespace kw::model_import {
namespace {

// A row-vector affine transform in plain floats, so that the work done for
// every vertex stays inline: rows 0..2 are the axes, row 3 the translation.
struct Affine {
  float m[4][3];

  static Affine Of(const Matrix3& a) {
    Affine r;
    for (int i = 0; i < 4; ++i) {
      const Point3& row = a.GetRow(i);
      r.m[i][0] = row.x;
      r.m[i][1] = row.y;
      r.m[i][2] = row.z;
    }
    return r;
  }

  Point3 Apply(float x, float y, float z) const {
    return Point3(x * m[0][0] + y * m[1][0] + z * m[2][0] + m[3][0],
                  x * m[0][1] + y * m[1][1] + z * m[2][1] + m[3][1],
                  x * m[0][2] + y * m[1][2] + z * m[2][2] + m[3][2]);
  }

  double Determinant() const {
    return double(m[0][0]) * (double(m[1][1]) * m[2][2] - double(m[1][2]) * m[2][1]) -
           double(m[0][1]) * (double(m[1][0]) * m[2][2] - double(m[1][2]) * m[2][0]) +
           double(m[0][2]) * (double(m[1][0]) * m[2][1] - double(m[1][1]) * m[2][0]);
  }
};

// A 3x3 matrix in row-vector form, for directions.
struct Linear3 {
  double m[3][3];

  Point3 Apply(float x, float y, float z) const {
    return Point3(static_cast<float>(x * m[0][0] + y * m[1][0] + z * m[2][0]),
                  static_cast<float>(x * m[0][1] + y * m[1][1] + z * m[2][1]),
                  static_cast<float>(x * m[0][2] + y * m[1][2] + z * m[2][2]));
  }
  Point3 Apply(const Point3& v) const { return Apply(v.x, v.y, v.z); }
};

// Cofactors of the 3x3 part: the inverse transpose times the determinant.
Linear3 Cofactors(const Affine& a) {
  const float(*r)[3] = a.m;
  Linear3 c;
  for (int i = 0; i < 3; ++i) {
    const float* p = r[(i + 1) % 3];
    const float* q = r[(i + 2) % 3];
    c.m[i][0] = double(p[1]) * q[2] - double(p[2]) * q[1];
    c.m[i][1] = double(p[2]) * q[0] - double(p[0]) * q[2];
    c.m[i][2] = double(p[0]) * q[1] - double(p[1]) * q[0];
  }
  return c;
}

// Normals follow the inverse transpose of the point transform; only the
// direction matters, so the cofactors do, with the determinant's sign.
Linear3 NormalTransform(const Affine& a) {
  Linear3 c = Cofactors(a);
  if (a.Determinant() < 0.0) {
    for (auto& row : c.m) {
      for (double& x : row) x = -x;
    }
  }
  return c;
}

// The inverse of the 3x3 part; the identity when there is none.
Linear3 Inverse3(const Affine& a) {
  const Linear3 c = Cofactors(a);
  const double det = a.Determinant();
  Linear3 inverse{};
  if (!(std::fabs(det) > 0.0) || !std::isfinite(det)) {
    for (int i = 0; i < 3; ++i) inverse.m[i][i] = 1.0;
    return inverse;
  }
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) inverse.m[i][j] = c.m[j][i] / det;
  }
  return inverse;
}

// Unit length, or unchanged when it has none.
Point3 Unit(const Point3& v) {
  const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (!(length > 0.0f)) return v;
  const float inverse = 1.0f / length;
  return Point3(v.x * inverse, v.y * inverse, v.z * inverse);
}

Point3 Cross(const Point3& a, const Point3& b) {
  return Point3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

Point3 Minus(const Point3& a, const Point3& b) { return Point3(a.x - b.x, a.y - b.y, a.z - b.z); }

bool IsUsable(const Point3& n) {
  return std::isfinite(n.x) && std::isfinite(n.y) && std::isfinite(n.z) &&
         (n.x != 0.0f || n.y != 0.0f || n.z != 0.0f);
}

// Sum of the skin matrices of one vertex, weighted, and the weights' total.
struct Blend {
  float m[12] = {};
  float total = 0.0f;
};

struct Part {
  const aiMesh* mesh;
  int materialId;
};

struct Link {
  int bone;
  float weight;
};

// What studiomdl does to a vertex's links: those below 0.05 of its weight go,
// the most largest stay, and the rest are scaled to a sum of 1. The largest
// link always stays. Returns the share of the weight the vertex lost.
double TrimLinks(int most, std::vector<Link>* links) {
  constexpr double kSmallest = 0.05;
  double total = 0.0;
  for (const Link& link : *links) total += link.weight;
  if (!(total > 0.0)) return 0.0;
  std::stable_sort(links->begin(), links->end(),
                   [](const Link& a, const Link& b) { return a.weight > b.weight; });
  std::size_t kept = 1;
  while (kept < links->size() && kept < static_cast<std::size_t>(most) &&
         (*links)[kept].weight >= kSmallest * total) {
    ++kept;
  }
  double keptWeight = 0.0;
  for (std::size_t k = 0; k < kept; ++k) keptWeight += (*links)[k].weight;
  links->resize(kept);
  for (Link& link : *links) link.weight = static_cast<float>(link.weight / keptWeight);
  return 1.0 - keptWeight / total;
}

}  // namespace

void BuildMesh(const aiScene& scene, int nodeId, const NodeTable& table, int maxLinks,
               MaterialTable* materials, MemoryScene* out, MeshReport* report,
               std::vector<Warning>* warnings) {
  const aiNode& source = *table.source[static_cast<std::size_t>(nodeId)];
  MemoryNode& node = *table.nodes[static_cast<std::size_t>(nodeId)];

  std::vector<Part> parts;
  std::vector<unsigned> materialIndices;
  std::size_t vertexTotal = 0, faceTotal = 0;
  bool skinned = false, withoutUv = false, secondUv = false;
  for (unsigned k = 0; k < source.mNumMeshes; ++k) {
    const unsigned index = source.mMeshes[k];
    if (index >= scene.mNumMeshes || !scene.mMeshes[index]) continue;
    const aiMesh* mesh = scene.mMeshes[index];
    if (!HasTriangles(scene, *mesh)) continue;
    std::size_t materialId = 0;
    while (materialId < materialIndices.size() &&
           materialIndices[materialId] != mesh->mMaterialIndex) {
      ++materialId;
    }
    if (materialId == materialIndices.size()) materialIndices.push_back(mesh->mMaterialIndex);
    parts.push_back(Part{mesh, static_cast<int>(materialId)});
    vertexTotal += mesh->mNumVertices;
    faceTotal += mesh->mNumFaces;
    skinned = skinned || mesh->mNumBones > 0;
    withoutUv = withoutUv || !mesh->HasTextureCoords(0);
    secondUv = secondUv || mesh->HasTextureCoords(1);
  }

  MemoryMesh& mesh = out->MakeMesh(node);
  node.SetMaterial(materials->ForNode(node.GetName(), materialIndices));
  MemorySkin* skin = nullptr;
  if (skinned) {
    skin = &out->MakeSkin();
    skin->ReserveVertices(static_cast<int>(vertexTotal));
    mesh.SetSkin(skin);
  }
  // The exporter would refuse every face of a mesh without texture
  // coordinates, one warning each; one shared (0, 0) keeps the faces, and
  // the file says it once.
  if (withoutUv && report->meshesWithoutUv++ == 0) report->firstWithoutUv = node.GetName();
  if (secondUv && report->meshesWithSecondUv++ == 0) report->firstWithSecondUv = node.GetName();

  // The exporter turns each normal by the node's tick-0 transform without
  // scale; the stored normals are world normals taken back through it.
  const Matrix3 worldMatrix = node.GetNodeTransform(0);
  Matrix3 unscaled = worldMatrix;
  unscaled.NoScale();
  const Affine world = Affine::Of(worldMatrix);
  const Linear3 toStored = Inverse3(Affine::Of(unscaled));
  const Linear3 rigidNormals = NormalTransform(world);
  const bool rigidMirrored = world.Determinant() < 0.0;

  mesh.vertices.reserve(vertexTotal);
  mesh.faces.reserve(faceTotal);
  mesh.texVertices.reserve(vertexTotal);
  std::vector<Point3> normals;  // world space
  normals.reserve(vertexTotal);
  std::vector<bool> mirrored;
  mirrored.reserve(vertexTotal);
  std::vector<Blend> blends;
  // Morph targets by name (or, unnamed, by position in a part), with their
  // normals in world space until the mesh's own are settled.
  std::unordered_map<std::string, std::size_t> targetByKey;
  std::vector<std::vector<Point3>> targetNormals;
  std::vector<bool> targetHasNormals;
  int zeroUv = -1;
  std::vector<std::string> missingBones;

  for (const Part& part : parts) {
    const aiMesh& sourceMesh = *part.mesh;
    const unsigned vertexCount = sourceMesh.mNumVertices;
    const std::uint32_t base = static_cast<std::uint32_t>(mesh.vertices.size());

    if (sourceMesh.mNumBones > 0) {
      // The links of each vertex side by side, in the skin's bone order.
      std::vector<unsigned> first(vertexCount + 1, 0);
      std::vector<Affine> skinning(sourceMesh.mNumBones);
      std::vector<int> boneIds(sourceMesh.mNumBones, -1);
      for (unsigned b = 0; b < sourceMesh.mNumBones; ++b) {
        const aiBone& bone = *sourceMesh.mBones[b];
        boneIds[b] = table.FindByName(bone.mName);
        if (boneIds[b] < 0) {
          missingBones.push_back(bone.mName.C_Str());
          continue;
        }
        // Offset first (mesh to bone space at bind time), then the bone as posed at tick 0.
        skinning[b] =
            Affine::Of(ToMatrix3(bone.mOffsetMatrix) *
                       table.nodes[static_cast<std::size_t>(boneIds[b])]->GetNodeTransform(0));
        for (unsigned w = 0; w < bone.mNumWeights; ++w) {
          if (bone.mWeights[w].mVertexId < vertexCount) ++first[bone.mWeights[w].mVertexId + 1];
        }
      }
      for (unsigned v = 0; v < vertexCount; ++v) first[v + 1] += first[v];
      std::vector<unsigned> bones(first.back());
      std::vector<float> weights(first.back());
      std::vector<unsigned> next(first.begin(), first.end() - 1);
      for (unsigned b = 0; b < sourceMesh.mNumBones; ++b) {
        if (boneIds[b] < 0) continue;
        const aiBone& bone = *sourceMesh.mBones[b];
        for (unsigned w = 0; w < bone.mNumWeights; ++w) {
          const aiVertexWeight& weight = bone.mWeights[w];
          if (weight.mVertexId >= vertexCount) continue;
          const unsigned at = next[weight.mVertexId]++;
          bones[at] = b;
          weights[at] = weight.mWeight;
        }
      }

      blends.assign(vertexCount, Blend());
      std::vector<Link> links;
      for (unsigned v = 0; v < vertexCount; ++v) {
        links.clear();
        for (unsigned at = first[v]; at < first[v + 1]; ++at) {
          links.push_back(Link{static_cast<int>(bones[at]), weights[at]});
        }
        if (maxLinks > 0 && !links.empty()) {
          const std::size_t had = links.size();
          const double lost = TrimLinks(maxLinks, &links);
          if (links.size() < had && lost > 0.0) {
            ++report->trimmedVertices;
            report->largestLoss = std::max(report->largestLoss, lost);
          }
        }
        Blend& blend = blends[v];
        for (const Link& link : links) {
          const auto b = static_cast<std::size_t>(link.bone);
          skin->AddLink(static_cast<int>(base + v), boneIds[b], link.weight);
          const float* entries = &skinning[b].m[0][0];
          for (int i = 0; i < 12; ++i) blend.m[i] += entries[i] * link.weight;
          blend.total += link.weight;
        }
      }
    }

    // Where vertex v of the part goes in the reference's pose, in any shape;
    // true when its transform mirrors.
    auto place = [&](unsigned v, const aiVector3D& position, const aiVector3D& normal,
                     Point3* placed, Point3* turned) {
      // Weights need not add up to 1; what a vertex's bones say is their mix.
      if (sourceMesh.mNumBones > 0 && blends[v].total > 0.0f) {
        const Blend& blend = blends[v];
        const float inverse = 1.0f / blend.total;
        Affine skinning;
        float* entries = &skinning.m[0][0];
        for (int i = 0; i < 12; ++i) entries[i] = blend.m[i] * inverse;
        *placed = skinning.Apply(position.x, position.y, position.z);
        *turned = Unit(NormalTransform(skinning).Apply(normal.x, normal.y, normal.z));
        return skinning.Determinant() < 0.0;
      }
      *placed = world.Apply(position.x, position.y, position.z);
      *turned = Unit(rigidNormals.Apply(normal.x, normal.y, normal.z));
      return rigidMirrored;
    };
    for (unsigned v = 0; v < vertexCount; ++v) {
      const aiVector3D normal = sourceMesh.mNormals ? sourceMesh.mNormals[v] : aiVector3D();
      Point3 placed, turned;
      mirrored.push_back(place(v, sourceMesh.mVertices[v], normal, &placed, &turned));
      mesh.vertices.push_back(placed);
      normals.push_back(turned);
    }

    std::unordered_map<std::string, std::size_t> partSuffix;
    for (unsigned a = 0; a < sourceMesh.mNumAnimMeshes; ++a) {
      const aiAnimMesh* anim = sourceMesh.mAnimMeshes[a];
      if (!anim || anim->mNumVertices != vertexCount) continue;  // refused before
      std::string name = anim->mName.C_Str();
      // An unnamed target is the part's a-th, as the parts of one glTF mesh share targets.
      std::string key = name.empty() ? std::string(1, '\0') + std::to_string(a) : name;
      auto inThisPart = [&](const std::string& k) {
        const auto known = targetByKey.find(k);
        return known != targetByKey.end() &&
               mesh.morphTargets[known->second].vertices.size() > base;
      };
      if (inThisPart(key)) {
        // A second target of one name is kept apart under a name of its own.
        std::size_t& n = partSuffix.emplace(name, 2).first->second;
        do {
          key = name + "_" + std::to_string(n++);
        } while (inThisPart(key));
        warnings->push_back(Warning{
            WarningKind::kMorphTargetRenamed,
            std::string("mesh \"") + node.GetName() + "\": more than one morph target named \"" +
                name + "\"; morph target " + std::to_string(a) + " is kept as \"" + key + "\""});
        name = key;
      }
      const auto [found, added] = targetByKey.emplace(key, mesh.morphTargets.size());
      if (added) {
        mesh.morphTargets.push_back(MorphTarget{name, {}, {}});
        mesh.morphTargets.back().vertices.reserve(vertexTotal);
        targetNormals.emplace_back();
        targetNormals.back().reserve(vertexTotal);
        targetHasNormals.push_back(false);
      }
      const std::size_t t = found->second;
      MorphTarget& target = mesh.morphTargets[t];
      std::vector<Point3>& turnedNormals = targetNormals[t];
      // The parts before that lack the target keep their shape in it.
      while (target.vertices.size() < base) {
        target.vertices.push_back(mesh.vertices[target.vertices.size()]);
        turnedNormals.push_back(normals[turnedNormals.size()]);
      }
      targetHasNormals[t] = targetHasNormals[t] || anim->mNormals != nullptr;
      for (unsigned v = 0; v < vertexCount; ++v) {
        const std::size_t at = base + v;
        if (!anim->mVertices && !anim->mNormals) {
          target.vertices.push_back(mesh.vertices[at]);
          turnedNormals.push_back(normals[at]);
          continue;
        }
        const aiVector3D& position = anim->mVertices ? anim->mVertices[v] : sourceMesh.mVertices[v];
        const aiVector3D normal = anim->mNormals        ? anim->mNormals[v]
                                  : sourceMesh.mNormals ? sourceMesh.mNormals[v]
                                                        : aiVector3D();
        Point3 placed, turned;
        place(v, position, normal, &placed, &turned);
        target.vertices.push_back(anim->mVertices ? placed : mesh.vertices[at]);
        turnedNormals.push_back(anim->mNormals ? turned : normals[at]);
      }
    }

    std::uint32_t uvBase = 0;
    if (sourceMesh.HasTextureCoords(0)) {
      uvBase = static_cast<std::uint32_t>(mesh.texVertices.size());
      for (unsigned v = 0; v < vertexCount; ++v) {
        Point2 uv;
        uv.x = sourceMesh.mTextureCoords[0][v].x;
        uv.y = sourceMesh.mTextureCoords[0][v].y;
        mesh.texVertices.push_back(uv);
      }
    } else if (zeroUv < 0) {
      zeroUv = static_cast<int>(mesh.texVertices.size());
      mesh.texVertices.push_back(Point2());
    }

    for (unsigned f = 0; f < sourceMesh.mNumFaces; ++f) {
      const aiFace& sourceFace = sourceMesh.mFaces[f];
      if (sourceFace.mNumIndices != 3) continue;
      MeshFace face;
      for (int c = 0; c < 3; ++c) {
        const unsigned index = sourceFace.mIndices[c];
        face.vertex[c] = base + index;
        face.texVertex[c] =
            sourceMesh.HasTextureCoords(0) ? uvBase + index : static_cast<std::uint32_t>(zeroUv);
      }
      // A mirroring transform turns the winding inside out; swapping two
      // corners keeps it agreeing with the normals.
      if (mirrored[face.vertex[0]]) {
        std::swap(face.vertex[1], face.vertex[2]);
        std::swap(face.texVertex[1], face.texVertex[2]);
      }
      face.smoothingGroup = 1;
      face.materialId = part.materialId;
      mesh.faces.push_back(face);
    }
  }

  // Parts after the last that has a target keep their shape in it.
  for (std::size_t t = 0; t < mesh.morphTargets.size(); ++t) {
    MorphTarget& target = mesh.morphTargets[t];
    while (target.vertices.size() < mesh.vertices.size()) {
      target.vertices.push_back(mesh.vertices[target.vertices.size()]);
      targetNormals[t].push_back(normals[targetNormals[t].size()]);
    }
  }

  // Face normals from the winding; they also stand in for vertex normals
  // the file left unusable (degenerate faces give assimp NaNs).
  bool anyUnusable = false;
  for (const Point3& n : normals) anyUnusable = anyUnusable || !IsUsable(n);
  std::vector<Point3> repaired(anyUnusable ? mesh.vertices.size() : 0);
  mesh.hostMesh.faceNormals.reserve(mesh.faces.size());
  for (const MeshFace& face : mesh.faces) {
    const Point3& p0 = mesh.vertices[face.vertex[0]];
    const Point3 area =
        Cross(Minus(mesh.vertices[face.vertex[1]], p0), Minus(mesh.vertices[face.vertex[2]], p0));
    mesh.hostMesh.faceNormals.push_back(toStored.Apply(Unit(area)));
    if (anyUnusable) {
      for (std::uint32_t v : face.vertex)
        repaired[v] =
            Point3(repaired[v].x + area.x, repaired[v].y + area.y, repaired[v].z + area.z);
    }
  }

  mesh.hostMesh.renderVertices.resize(mesh.vertices.size());
  for (std::size_t v = 0; v < mesh.vertices.size(); ++v) {
    const Point3 n = IsUsable(normals[v]) ? normals[v] : Unit(repaired[v]);
    RenderVertex& render = mesh.hostMesh.renderVertices[v];
    render.flags = 1;
    render.singleNormal.normal = toStored.Apply(IsUsable(n) ? n : Point3());
    render.singleNormal.smoothingGroup = 1;
    // A target's unusable normal is the mesh's, so that it changes nothing.
    for (std::size_t t = 0; t < mesh.morphTargets.size(); ++t) {
      if (!targetHasNormals[t]) continue;
      std::vector<Point3>& stored = mesh.morphTargets[t].normals;
      if (stored.empty()) stored.resize(mesh.vertices.size());
      const Point3& turned = targetNormals[t][v];
      stored[v] = IsUsable(turned) ? toStored.Apply(turned) : render.singleNormal.normal;
    }
  }

  if (!missingBones.empty()) {
    std::string list;
    for (const std::string& name : missingBones)
      list += (list.empty() ? "\"" : ", \"") + name + "\"";
    warnings->push_back(
        Warning{WarningKind::kModelImport,
                std::string("mesh \"") + node.GetName() + "\": bone" +
                    (missingBones.size() == 1 ? " " : "s ") + list +
                    " not among the nodes of the file; their weights are left out"});
  }
}

}  // namespace kw::model_import
