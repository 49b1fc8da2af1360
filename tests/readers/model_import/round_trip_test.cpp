// Exports real models and reads the SMD back with assimp's own SMD reader:
// bone world positions at several frames, triangle corners, face counts and
// texture names must match the source as assimp read it.
//
// Tolerance: positions agree to 1e-5 of the model's largest coordinate (at
// least 1e-5 units): six decimals in the file, single precision on both
// sides. The worst seen is a seventh of that (X/Testwuson.X).
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "readers/model_import/source_reference.h"
#include "support/export_harness.h"
#include "readers/model_import/model_import.h"

using kw::ImportedModel;
using kw::ImportModel;
using kw::kModelTicksPerSecond;
using kw::MemoryNode;
using kw::ModelImportOptions;
using kw::ModelPose;

namespace {

using kw::test::kModelDir;

struct Model {
  const char* file;
  const char* animation;  // "" : the first, if any
  char up;
  bool checkSkeleton;  // false where a mirroring parent cannot be written as an SMD pose
};

const Model kSkinnedAndAnimated[] = {
    {"FBX/animation_with_skeleton.fbx", "", 'y', true},
    {"FBX/huesitos.fbx", "", 'y', true},
    {"glTF2/simple_skin/simple_skin.gltf", "", 'y', true},
    {"X/Testwuson.X", "Wuson_Walk", 'y', true},
    {"X/BCN_Epileptic.X", "", 'y', true},
    // Box02 hangs below a camera, which is not exported: a root posed in the world.
    {"3DS/CameraRollAnimWithChildObject.3ds", "", 'y', true},
    {"ASE/CameraRollAnimWithChildObject.ase", "", 'y', true},
};

const Model kStatic[] = {
    {"OBJ/spider.obj", "", 'y', true},
    {"FBX/spider.fbx", "", 'y', true},
    {"Collada/duck.dae", "", 'y', true},
    {"Collada/regr01.dae", "", 'y', true},
    {"X/kwxport_test_cubewithvcolors.x", "", 'y', true},
    {"MS3D/jeep1.ms3d", "", 'y', true},
    {"B3D/WusonBlitz.b3d", "", 'y', true},
    {"3DS/fels.3ds", "", 'y', true},
    {"MD5/SimpleCube.md5mesh", "", 'y', true},
    {"glTF2/BoxTextured-glTF-Binary/BoxTextured.glb", "", 'y', true},
    {"FBX/cubes_with_mirroring_and_pivot.fbx", "", 'y', false},
};

struct Exported {
  ImportedModel model;
  Assimp::Importer sourceImporter;
  const aiScene* source = nullptr;
  const aiAnimation* animation = nullptr;
  std::map<std::string, int> idByName;  // exported name to pre-order id
};

// The reference in the bind pose, as the tool writes it; a sequence samples the animation.
void Load(const Model& entry, ModelPose pose, Exported* out) {
  ModelImportOptions options;
  options.animation = entry.animation;
  options.pose = pose;
  std::string error;
  ASSERT_TRUE(ImportModel(kModelDir + entry.file, options, &out->model, &error)) << error;
  out->source = kw::test::ReadSource(out->sourceImporter, kModelDir + entry.file);
  ASSERT_NE(out->source, nullptr);
  for (unsigned a = 0; a < out->source->mNumAnimations; ++a) {
    if (std::string(entry.animation) == out->source->mAnimations[a]->mName.C_Str() ||
        (entry.animation[0] == '\0' && a == 0)) {
      out->animation = out->source->mAnimations[a];
    }
  }
  for (int id = 0; MemoryNode* node = out->model.scene->FindNode(id); ++id)
    out->idByName[node->GetName()] = id;
}

const aiScene* ReadSmd(Assimp::Importer& importer, const std::string& smd) {
  // Only the file itself: no hunt for animation files next to it.
  importer.SetPropertyBool(AI_CONFIG_IMPORT_SMD_LOAD_ANIMATION_LIST, false);
  const aiScene* scene = importer.ReadFileFromMemory(smd.data(), smd.size(), 0, "smd");
  EXPECT_NE(scene, nullptr) << importer.GetErrorString();
  return scene;
}

float Tolerance(float largest) { return std::max(1e-5f, 1e-5f * largest); }

// Bone world positions of the SMD at pose k against the source's world
// transforms at the frame that pose was taken from.
void ExpectSkeletonMatches(const Exported& exported, const aiScene& smd,
                           const aiAnimation* smdAnimation, int pose,
                           const std::vector<aiMatrix4x4>& source, const std::string& where) {
  const std::vector<aiMatrix4x4> readBack =
      kw::test::WorldPose(smd, smdAnimation, pose, aiMatrix4x4());
  const std::vector<const aiNode*> smdNodes = kw::test::PreOrder(smd);

  std::vector<aiVector3D> origins;
  for (const aiMatrix4x4& m : source) origins.emplace_back(m.a4, m.b4, m.c4);
  const float tolerance = Tolerance(kw::test::Largest(origins));
  int compared = 0;
  for (std::size_t i = 0; i < smdNodes.size(); ++i) {
    const auto found = exported.idByName.find(smdNodes[i]->mName.C_Str());
    if (found == exported.idByName.end()) continue;  // the reader's own root
    const aiMatrix4x4& expected = source[static_cast<std::size_t>(found->second)];
    const aiVector3D position(readBack[i].a4, readBack[i].b4, readBack[i].c4);
    EXPECT_LT(kw::test::Distance(position, aiVector3D(expected.a4, expected.b4, expected.c4)),
              tolerance)
        << where << " pose " << pose << " node " << smdNodes[i]->mName.C_Str();
    ++compared;
  }
  EXPECT_GT(compared, 0) << where;
}

std::string FilePart(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The source's world transforms at a frame of its animation.
std::vector<aiMatrix4x4> SourceAt(const Exported& exported, int frame) {
  const double ticksPerSecond = exported.animation && exported.animation->mTicksPerSecond > 0
                                    ? exported.animation->mTicksPerSecond
                                    : 25.0;
  const double time =
      double(frame) * exported.model.ticksPerFrame * ticksPerSecond / kModelTicksPerSecond;
  return kw::test::WorldPose(*exported.source, exported.animation, time,
                             kw::test::Upright('y', 1.0f));
}

// An untextured material is written under its name, letters, digits, '_'
// and '-' kept; "null.bmp" when it has none.
std::string OwnName(const aiMaterial& material) {
  aiString name;
  if (material.Get(AI_MATKEY_NAME, name) != AI_SUCCESS || name.length == 0) return "null.bmp";
  std::string text = name.C_Str();
  for (char& c : text) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') c = '_';
  }
  return text;
}

// Expected faces by texture name, in export order: corners of every mesh
// node as bound, nodes in pre-order, meshes and faces in file order.
std::map<std::string, std::vector<aiVector3D>> ExpectedFaces(const Exported& exported) {
  const aiScene& source = *exported.source;
  const std::vector<aiMatrix4x4> pose = kw::test::BindPose(source, kw::test::Upright('y'));
  std::map<std::string, std::vector<aiVector3D>> faces;
  for (int id = 0; MemoryNode* node = exported.model.scene->FindNode(id); ++id) {
    if (!node->GetObject()->AsMesh()) continue;
    const aiNode& sourceNode = *kw::test::PreOrder(source)[static_cast<std::size_t>(id)];
    const std::vector<aiVector3D> corners = kw::test::PosedCorners(source, sourceNode, pose);
    std::size_t next = 0;
    for (unsigned k = 0; k < sourceNode.mNumMeshes; ++k) {
      const aiMesh& mesh = *source.mMeshes[sourceNode.mMeshes[k]];
      const aiMaterial& material = *source.mMaterials[mesh.mMaterialIndex];
      aiString path;
      std::string texture = OwnName(material);
      if ((material.GetTexture(aiTextureType_DIFFUSE, 0, &path) == AI_SUCCESS ||
           material.GetTexture(aiTextureType_BASE_COLOR, 0, &path) == AI_SUCCESS) &&
          path.length > 0) {
        // Embedded maps get the importer's names, pinned by another test.
        texture = path.C_Str()[0] == '*' ? "*" : FilePart(path.C_Str());
      }
      auto& list = faces[texture];
      list.insert(list.end(), corners.begin() + static_cast<long>(next),
                  corners.begin() + static_cast<long>(next + 3 * mesh.mNumFaces));
      next += 3 * mesh.mNumFaces;
    }
  }
  return faces;
}

void ExpectTrianglesMatch(const Exported& exported, const aiScene& smd, const std::string& where) {
  std::map<std::string, std::vector<aiVector3D>> expected = ExpectedFaces(exported);
  std::map<std::string, std::vector<aiVector3D>> readBack;
  for (unsigned m = 0; m < smd.mNumMeshes; ++m) {
    const aiMesh& mesh = *smd.mMeshes[m];
    aiString path;
    smd.mMaterials[mesh.mMaterialIndex]->GetTexture(aiTextureType_DIFFUSE, 0, &path);
    std::string texture = path.C_Str();
    if (expected.count(texture) == 0 && expected.count("*") != 0) texture = "*";
    auto& list = readBack[texture];
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      for (unsigned c = 0; c < mesh.mFaces[f].mNumIndices; ++c)
        list.push_back(mesh.mVertices[mesh.mFaces[f].mIndices[c]]);
    }
  }
  std::size_t expectedFaces = 0, readFaces = 0;
  for (const auto& [texture, corners] : expected) expectedFaces += corners.size() / 3;
  for (const auto& [texture, corners] : readBack) readFaces += corners.size() / 3;
  EXPECT_EQ(readFaces, expectedFaces) << where;
  ASSERT_EQ(readBack.size(), expected.size()) << where;

  for (const auto& [texture, corners] : expected) {
    ASSERT_EQ(readBack.count(texture), 1u) << where << " texture " << texture;
    const std::vector<aiVector3D>& read = readBack[texture];
    ASSERT_EQ(read.size(), corners.size()) << where << " texture " << texture;
    const float tolerance = Tolerance(kw::test::Largest(corners));
    for (std::size_t face = 0; face + 2 < corners.size(); face += 3) {
      // A mirrored node has two corners swapped: compare as a set.
      for (std::size_t c = face; c < face + 3; ++c) {
        float nearest = INFINITY;
        for (std::size_t d = face; d < face + 3; ++d)
          nearest = std::min(nearest, kw::test::Distance(read[c], corners[d]));
        ASSERT_LT(nearest, tolerance) << where << " texture " << texture << " face " << face / 3;
      }
    }
  }
}

TEST(RoundTrip, SkinnedAnimatedModelsReadBackWithTheirSkeletonAndTriangles) {
  for (const Model& entry : kSkinnedAndAnimated) {
    Exported exported;
    Load(entry, ModelPose::kBind, &exported);
    ASSERT_NE(exported.animation, nullptr) << entry.file;

    const kw::test::ExportResult reference = kw::test::RunExport(*exported.model.scene);
    EXPECT_TRUE(reference.warnings.empty()) << entry.file << ": " << reference.warnings.front();
    Assimp::Importer referenceReader;
    const aiScene* referenceScene = ReadSmd(referenceReader, reference.smd);
    ASSERT_NE(referenceScene, nullptr) << entry.file;
    ExpectTrianglesMatch(exported, *referenceScene, entry.file);
    ExpectSkeletonMatches(exported, *referenceScene, nullptr, 0,
                          kw::test::BindPose(*exported.source, kw::test::Upright('y')),
                          std::string(entry.file) + " reference");

    Exported animated;
    Load(entry, ModelPose::kAnimation, &animated);

    const int first = animated.model.scene->GetStartTicks() / animated.model.ticksPerFrame;
    const int last = animated.model.scene->GetEndTicks() / animated.model.ticksPerFrame;
    const kw::test::ExportResult sequence =
        kw::test::RunExport(*animated.model.scene, kw::test::Sequence(first, last));
    Assimp::Importer sequenceReader;
    const aiScene* sequenceScene = ReadSmd(sequenceReader, sequence.smd);
    ASSERT_NE(sequenceScene, nullptr) << entry.file;
    ASSERT_EQ(sequenceScene->mNumAnimations, 1u);
    for (int frame = first; frame <= last; ++frame) {
      ExpectSkeletonMatches(animated, *sequenceScene, sequenceScene->mAnimations[0], frame - first,
                            SourceAt(animated, frame), std::string(entry.file) + " sequence");
    }
  }
}

TEST(RoundTrip, StaticModelsReadBackWithTheirTrianglesAndTextureNames) {
  for (const Model& entry : kStatic) {
    Exported exported;
    Load(entry, ModelPose::kBind, &exported);
    const kw::test::ExportResult reference = kw::test::RunExport(*exported.model.scene);
    EXPECT_TRUE(reference.warnings.empty()) << entry.file << ": " << reference.warnings.front();
    Assimp::Importer reader;
    const aiScene* smd = ReadSmd(reader, reference.smd);
    ASSERT_NE(smd, nullptr) << entry.file;
    ExpectTrianglesMatch(exported, *smd, entry.file);
    if (entry.checkSkeleton) {
      ExpectSkeletonMatches(exported, *smd, nullptr, 0,
                            kw::test::BindPose(*exported.source, kw::test::Upright('y')),
                            entry.file);
    }
  }
}

}  // namespace
