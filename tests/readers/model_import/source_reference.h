// What a model file should look like once exported, worked out on assimp's
// own scene with assimp's own math, independently of the importer under test:
// node world transforms at any time of an animation, skinned vertex
// positions, and the upright turn from a source's up axis to Z.
#pragma once

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace kw::test {

inline const std::string kModelDir = "/usr/share/assimp/models/";

// The same reading the importer does, so both sides see the same meshes.
inline const aiScene* ReadSource(Assimp::Importer& importer, const std::string& path) {
  importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE,
                              aiPrimitiveType_POINT | aiPrimitiveType_LINE);
  importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
  const aiScene* scene =
      importer.ReadFile(path, aiProcess_Triangulate | aiProcess_GenSmoothNormals |
                                  aiProcess_SortByPType | aiProcess_ValidateDataStructure);
  EXPECT_NE(scene, nullptr)
      << path << ": " << importer.GetErrorString()
      << " (are the assimp-testmodels installed? scripts/install-deps.sh tests)";
  return scene;
}

// Column-vector matrix taking the source's up axis to +Z, times the scale.
inline aiMatrix4x4 Upright(char up, float scale = 1.0f) {
  aiMatrix4x4 turn;
  if (up == 'y') aiMatrix4x4::RotationX(static_cast<float>(M_PI / 2), turn);
  aiMatrix4x4 scaling;
  aiMatrix4x4::Scaling(aiVector3D(scale, scale, scale), scaling);
  return scaling * turn;
}

// Nodes in depth-first pre-order, the order the importer numbers them in.
inline std::vector<const aiNode*> PreOrder(const aiScene& scene) {
  std::vector<const aiNode*> order;
  std::vector<const aiNode*> pending{scene.mRootNode};
  while (!pending.empty()) {
    const aiNode* node = pending.back();
    pending.pop_back();
    order.push_back(node);
    for (unsigned i = node->mNumChildren; i-- > 0;) pending.push_back(node->mChildren[i]);
  }
  return order;
}

template <typename Key>
std::size_t KeyBefore(const Key* keys, unsigned count, double time, double* fraction) {
  *fraction = 0.0;
  if (time <= keys[0].mTime) return 0;
  for (unsigned k = 0; k + 1 < count; ++k) {
    if (time < keys[k + 1].mTime) {
      *fraction = (time - keys[k].mTime) / (keys[k + 1].mTime - keys[k].mTime);
      return k;
    }
  }
  return count - 1;
}

inline aiVector3D SampleVector(const aiVectorKey* keys, unsigned count, double time,
                               const aiVector3D& rest) {
  if (count == 0) return rest;
  double f = 0.0;
  const std::size_t k = KeyBefore(keys, count, time, &f);
  if (f == 0.0) return keys[k].mValue;
  return keys[k].mValue + (keys[k + 1].mValue - keys[k].mValue) * static_cast<float>(f);
}

inline aiQuaternion SampleRotation(const aiQuatKey* keys, unsigned count, double time,
                                   const aiQuaternion& rest) {
  if (count == 0) return rest;
  double f = 0.0;
  const std::size_t k = KeyBefore(keys, count, time, &f);
  // Files store rotations only nearly unit long (glTF's simple_skin: 1.00023).
  aiQuaternion a = keys[k].mValue;
  a.Normalize();
  if (f == 0.0) return a;
  aiQuaternion b = keys[k + 1].mValue;
  b.Normalize();
  aiQuaternion out;
  aiQuaternion::Interpolate(out, a, b, static_cast<float>(f));
  return out.Normalize();
}

// World transforms of every node (pre-order) at a time in the animation's
// own ticks, with the upright turn applied; animation null: rest pose.
inline std::vector<aiMatrix4x4> WorldPose(const aiScene& scene, const aiAnimation* animation,
                                          double time, const aiMatrix4x4& upright) {
  const std::vector<const aiNode*> order = PreOrder(scene);
  std::vector<aiMatrix4x4> world(order.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    const aiNode* node = order[i];
    aiMatrix4x4 local = node->mTransformation;
    if (animation) {
      for (unsigned c = 0; c < animation->mNumChannels; ++c) {
        const aiNodeAnim& channel = *animation->mChannels[c];
        if (channel.mNodeName != node->mName) continue;
        // Channels bind to the first node of their name, as assimp does.
        if (scene.mRootNode->FindNode(node->mName) != node) break;
        aiVector3D restScale, restPosition;
        aiQuaternion restRotation;
        node->mTransformation.Decompose(restScale, restRotation, restPosition);
        const aiVector3D position =
            SampleVector(channel.mPositionKeys, channel.mNumPositionKeys, time, restPosition);
        const aiQuaternion rotation =
            SampleRotation(channel.mRotationKeys, channel.mNumRotationKeys, time, restRotation);
        const aiVector3D scale =
            SampleVector(channel.mScalingKeys, channel.mNumScalingKeys, time, restScale);
        // Scale, then rotation, then translation; assimp's three-part
        // constructor scales the rotation's rows instead, which differs
        // under a scale that is not uniform.
        aiMatrix4x4 scaling, translation;
        aiMatrix4x4::Scaling(scale, scaling);
        aiMatrix4x4::Translation(position, translation);
        local = translation * aiMatrix4x4(rotation.GetMatrix()) * scaling;
        break;
      }
    }
    std::size_t parent = 0;
    while (parent < i && order[parent] != node->mParent) ++parent;
    world[i] = parent < i ? world[parent] * local : upright * local;
  }
  return world;
}

inline int IndexOf(const std::vector<const aiNode*>& order, const aiNode* node) {
  const auto found = std::find(order.begin(), order.end(), node);
  return found == order.end() ? -1 : static_cast<int>(found - order.begin());
}

// Where a skin puts its mesh when bound, as the format's reader leaves its
// offsets: X and glTF 2 skin in the scene's space; Collada in the file's
// times its bind shape matrix, which a rest pose that binds the skin gives
// (every bone's rest world times its offset the same); FBX and the rest in
// the mesh node's (rest[mesh]).
inline aiMatrix4x4 SkinSpace(const aiScene& scene, const aiMesh& mesh,
                             const std::vector<aiMatrix4x4>& rest, std::size_t meshNode,
                             const aiMatrix4x4& upright) {
  aiString format;
  if (scene.mMetaData) scene.mMetaData->Get("SourceAsset_Format", format);
  const std::string name = format.C_Str();
  if (name == "Direct3D XFile Importer" || name == "glTF2 Importer") return upright;
  if (name != "Collada Importer") return rest[meshNode];
  const std::vector<const aiNode*> order = PreOrder(scene);
  std::vector<aiMatrix4x4> spaces;
  for (unsigned b = 0; b < mesh.mNumBones; ++b) {
    const int id = IndexOf(order, scene.mRootNode->FindNode(mesh.mBones[b]->mName));
    if (id >= 0)
      spaces.push_back(rest[static_cast<std::size_t>(id)] * mesh.mBones[b]->mOffsetMatrix);
  }
  for (const aiMatrix4x4& space : spaces) {
    for (unsigned r = 0; r < 3; ++r) {
      for (unsigned c = 0; c < 4; ++c) {
        if (std::fabs(space[r][c] - spaces[0][r][c]) > 1e-4f * (c == 3 ? 10.0f : 1.0f))
          return upright * scene.mRootNode->mTransformation;
      }
    }
  }
  return spaces.empty() ? upright * scene.mRootNode->mTransformation : spaces[0];
}

// World transforms of the pose the skins were bound in: a bone at its first
// skin's space times the inverse offset, every other node at rest relative
// to its parent.
inline std::vector<aiMatrix4x4> BindPose(const aiScene& scene, const aiMatrix4x4& upright) {
  const std::vector<const aiNode*> order = PreOrder(scene);
  const std::vector<aiMatrix4x4> rest = WorldPose(scene, nullptr, 0.0, upright);
  std::vector<aiMatrix4x4> world(order.size());
  std::vector<bool> bound(order.size(), false);
  for (std::size_t i = 0; i < order.size(); ++i) {
    for (unsigned k = 0; k < order[i]->mNumMeshes; ++k) {
      const aiMesh& mesh = *scene.mMeshes[order[i]->mMeshes[k]];
      if (mesh.mNumBones == 0) continue;
      const aiMatrix4x4 space = SkinSpace(scene, mesh, rest, i, upright);
      for (unsigned b = 0; b < mesh.mNumBones; ++b) {
        const int id = IndexOf(order, scene.mRootNode->FindNode(mesh.mBones[b]->mName));
        if (id < 0 || bound[static_cast<std::size_t>(id)]) continue;
        bound[static_cast<std::size_t>(id)] = true;
        world[static_cast<std::size_t>(id)] =
            space * aiMatrix4x4(mesh.mBones[b]->mOffsetMatrix).Inverse();
      }
    }
  }
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (bound[i]) continue;
    const int parent = IndexOf(order, order[i]->mParent);
    world[i] = parent >= 0 ? world[static_cast<std::size_t>(parent)] * order[i]->mTransformation
                           : upright * order[i]->mTransformation;
  }
  return world;
}

// Every triangle corner of a node's meshes, posed: skinned by the bones'
// world transforms (weights taken as a mix), else by the node's own. With a
// morph target, each mesh that has it is in its shape.
inline std::vector<aiVector3D> PosedCorners(const aiScene& scene, const aiNode& node,
                                            const std::vector<aiMatrix4x4>& world,
                                            unsigned morphTarget = ~0u) {
  const std::vector<const aiNode*> order = PreOrder(scene);
  std::vector<aiVector3D> corners;
  for (unsigned k = 0; k < node.mNumMeshes; ++k) {
    const aiMesh& mesh = *scene.mMeshes[node.mMeshes[k]];
    const aiVector3D* vertices =
        morphTarget < mesh.mNumAnimMeshes && mesh.mAnimMeshes[morphTarget]->mVertices
            ? mesh.mAnimMeshes[morphTarget]->mVertices
            : mesh.mVertices;
    std::vector<aiVector3D> posed(mesh.mNumVertices);
    std::vector<float> totals(mesh.mNumVertices, 0.0f);
    for (unsigned b = 0; b < mesh.mNumBones; ++b) {
      const aiBone& bone = *mesh.mBones[b];
      const int id = IndexOf(order, scene.mRootNode->FindNode(bone.mName));
      if (id < 0) continue;
      const aiMatrix4x4 skinning = world[static_cast<std::size_t>(id)] * bone.mOffsetMatrix;
      for (unsigned w = 0; w < bone.mNumWeights; ++w) {
        const aiVertexWeight& weight = bone.mWeights[w];
        posed[weight.mVertexId] += (skinning * vertices[weight.mVertexId]) * weight.mWeight;
        totals[weight.mVertexId] += weight.mWeight;
      }
    }
    const aiMatrix4x4& own = world[static_cast<std::size_t>(IndexOf(order, &node))];
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
      posed[v] = totals[v] > 0.0f ? posed[v] / totals[v] : own * vertices[v];
    }
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      if (mesh.mFaces[f].mNumIndices != 3) continue;
      for (int c = 0; c < 3; ++c) corners.push_back(posed[mesh.mFaces[f].mIndices[c]]);
    }
  }
  return corners;
}

// The largest coordinate, at least 1: the scale tolerances are measured against.
inline float Largest(const std::vector<aiVector3D>& points) {
  float most = 1.0f;
  for (const aiVector3D& p : points)
    most = std::max({most, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
  return most;
}

inline float Distance(const aiVector3D& a, const aiVector3D& b) { return (a - b).Length(); }

}  // namespace kw::test
