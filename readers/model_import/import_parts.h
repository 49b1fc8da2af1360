// The steps of a model import, shared by the files of this folder only.
#pragma once

#include <assimp/scene.h>

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "readers/model_import/model_import.h"
#include "scene/memory_scene.h"

namespace kw::model_import {

// The file's nodes in depth-first pre-order; a node's position is its id.
struct NodeTable {
  std::vector<const aiNode*> source;
  std::vector<MemoryNode*> nodes;
  // The first node of each name, which is the node assimp itself binds
  // bones and animation channels to.
  std::unordered_map<std::string, int> idByName;

  int FindByName(const aiString& name) const;
};

// Turns the source's axes into the scene's Z-up axes, with the uniform scale.
struct SceneFrame {
  Matrix3 rotation;
  float scale = 1.0f;

  Matrix3 AsMatrix() const;
};

// Row-vector form of assimp's column-vector matrix; the projective row is dropped.
Matrix3 ToMatrix3(const aiMatrix4x4& m);

// The animation the options ask for: its index, or -1 for the rest pose.
// False with a message when the options name an animation the file lacks.
bool ChooseAnimation(const aiScene& scene, const ModelImportOptions& options, int* index,
                     std::string* error);
// The same, whatever pose the options ask for: -1 only for a file without animations.
bool FindAnimation(const aiScene& scene, const ModelImportOptions& options, int* index,
                   std::string* error);

// Source ticks to scene ticks: 4800 per second over the file's own rate.
double TickFactor(const aiAnimation& animation);

// The animation's range in scene ticks: from 0, or an earlier key, to its
// duration, or a later key.
void AnimationRange(const aiAnimation& animation, double* startTick, double* endTick);

// Creates every node with its name and transforms, sampled from animation
// (null: rest transforms). The single root also turns the source upright.
void BuildNodes(const aiScene& scene, const aiAnimation* animation, const SceneFrame& frame,
                MemoryScene* out, NodeTable* table);

// Moves every bone a skin names to where the skin was bound: its offset
// matrix's inverse in the space the format's reader skins in (format: the
// importer's name); other nodes keep their rest transform relative to their
// parent. A bone two meshes bind differently takes the first mesh's bind,
// with a warning naming it.
void PoseAsBound(const aiScene& scene, const NodeTable& table, const SceneFrame& frame,
                 const std::string& format, std::vector<Warning>* warnings);

// Warns of what the sampled animation does that an SMD cannot carry: a
// node's animated scale, a mesh's morph-target animation.
void ReportLostAnimation(const aiScene& scene, const aiAnimation& animation, const NodeTable& table,
                         std::vector<Warning>* warnings);

// Gives every node its object: a mesh for nodes with triangles (left empty
// without geometry, for a scene that serves sequences only), then bones,
// cameras, lights and helpers.
void BuildObjects(const aiScene& scene, const std::string& modelPath, const NodeTable& table,
                  int maxLinks, bool geometry, MemoryScene* out, std::vector<Warning>* warnings);

class MaterialTable {
 public:
  MaterialTable(const aiScene& scene, const std::string& modelPath, MemoryScene* out);

  // One "Standard" material per material of the file, made on first use.
  MemoryMaterial* Standard(unsigned index);
  // The material of a node whose faces use these materials (distinct, in
  // order, so a face's material id is its position here): the Standard one
  // for a single material, else a "Multi/Sub-Object" with ids 0, 1, ...
  MemoryMaterial* ForNode(const std::string& nodeName, const std::vector<unsigned>& indices);

 private:
  std::string TextureName(const aiString& path) const;
  std::string OwnName(const std::string& materialName);

  const aiScene& scene_;
  std::string modelStem_;
  MemoryScene* out_;
  std::vector<MemoryMaterial*> standard_;
  std::unordered_set<std::string> usedNames_;              // as studiomdl tells them apart
  std::unordered_map<std::string, std::string> ownNames_;  // material name to SMD name
};

// What one mesh import tells of the whole file, said once per file.
struct MeshReport {
  int meshesWithoutUv = 0;
  std::string firstWithoutUv;
  int meshesWithSecondUv = 0;
  std::string firstWithSecondUv;
  // --max-links: vertices that lost weight, and the most one of them lost.
  int trimmedVertices = 0;
  double largestLoss = 0.0;
};

// Fills the mesh of one mesh node from its triangle meshes: world positions
// at tick 0, render normals, UV channel 0, materials and the skin, its links
// trimmed to maxLinks when that is above 0.
void BuildMesh(const aiScene& scene, int nodeId, const NodeTable& table, int maxLinks,
               MaterialTable* materials, MemoryScene* out, MeshReport* report,
               std::vector<Warning>* warnings);

// True when the mesh has triangles the exporter can write and they are the
// file's own.
bool HasTriangles(const aiScene& scene, const aiMesh& mesh);

}  // namespace kw::model_import
