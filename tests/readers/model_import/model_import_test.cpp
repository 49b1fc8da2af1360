// The importer on real models: what the scene it builds holds, checked
// against assimp's own reading of the same file.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "readers/model_import/source_reference.h"
#include "readers/model_import/import_guards.h"
#include "readers/model_import/import_parts.h"
#include "readers/model_import/model_import.h"

using kw::ImportedModel;
using kw::ImportModel;
using kw::kModelTicksPerSecond;
using kw::MemoryNode;
using kw::MemoryScene;
using kw::ModelImportOptions;
using kw::ModelPose;

namespace {

using kw::test::kModelDir;

ImportedModel Import(const std::string& file,
                     const ModelImportOptions& options = ModelImportOptions()) {
  ImportedModel model;
  std::string error;
  EXPECT_TRUE(ImportModel(kModelDir + file, options, &model, &error)) << error;
  return model;
}

MemoryNode& Node(const ImportedModel& model, int id) {
  MemoryNode* node = model.scene->FindNode(id);
  EXPECT_NE(node, nullptr) << "no node " << id;
  return *node;
}

int TypeOf(MemoryNode& node) { return node.GetObject() ? node.GetObject()->GetObjectType() : -1; }

// Row i of our row-vector matrix is column i of assimp's.
void ExpectSameTransform(const Matrix3& ours, const aiMatrix4x4& source, float translationTolerance,
                         const std::string& where) {
  const aiVector3D columns[4] = {{source.a1, source.b1, source.c1},
                                 {source.a2, source.b2, source.c2},
                                 {source.a3, source.b3, source.c3},
                                 {source.a4, source.b4, source.c4}};
  for (int r = 0; r < 3; ++r) {
    const float tolerance = 2e-4f * std::max(1.0f, columns[r].Length());
    const Point3 row = ours.GetRow(r);
    EXPECT_LT(kw::test::Distance(aiVector3D(row.x, row.y, row.z), columns[r]), tolerance)
        << where << " axis " << r;
  }
  const Point3 t = ours.GetTrans();
  EXPECT_LT(kw::test::Distance(aiVector3D(t.x, t.y, t.z), columns[3]), translationTolerance)
      << where << " translation";
}

struct AnimatedModel {
  const char* file;
  const char* animation;
  char up;
};

// Three skinned and animated models in three formats, and two more.
const AnimatedModel kAnimated[] = {
    {"FBX/animation_with_skeleton.fbx", "", 'y'},
    {"FBX/huesitos.fbx", "", 'y'},
    {"glTF2/simple_skin/simple_skin.gltf", "", 'y'},
    {"X/Testwuson.X", "Wuson_Walk", 'y'},
    {"X/BCN_Epileptic.X", "", 'y'},
};

TEST(ModelImport, NodesAreNumberedInPreOrderWithTheFilesNamesAndParents) {
  const ImportedModel model = Import("X/Testwuson.X");
  Assimp::Importer importer;
  const aiScene* source = kw::test::ReadSource(importer, kModelDir + "X/Testwuson.X");
  ASSERT_NE(source, nullptr);
  const std::vector<const aiNode*> order = kw::test::PreOrder(*source);
  ASSERT_EQ(order.size(), 40u);
  for (std::size_t id = 0; id < order.size(); ++id) {
    MemoryNode& node = Node(model, static_cast<int>(id));
    EXPECT_STREQ(node.GetName(), order[id]->mName.C_Str());
    const int parent = kw::test::IndexOf(order, order[id]->mParent);
    if (parent < 0) {
      EXPECT_EQ(node.GetSceneParent(), nullptr);
    } else {
      ASSERT_NE(node.GetSceneParent(), nullptr);
      EXPECT_EQ(node.GetSceneParent()->GetNodeId(), parent) << node.GetName();
    }
  }
  EXPECT_EQ(model.scene->GetSceneRoots().size(), 1u);
}

TEST(ModelImport, NodeTypesFollowWhatTheNodesCarry) {
  const ImportedModel model = Import("FBX/animation_with_skeleton.fbx");
  int meshes = 0, boneCount = 0;
  for (int id = 0; id < 21; ++id) {
    MemoryNode& node = Node(model, id);
    const std::string name = node.GetName();
    const int type = TypeOf(node);
    if (name == "Cube") {
      EXPECT_EQ(type, kObjectMesh);
      ++meshes;
    } else if (name == "Light") {
      EXPECT_EQ(type, 1);
    } else if (name == "Camera") {
      EXPECT_EQ(type, 4);
    } else if (name == "RootNode" || name == "Armature") {
      EXPECT_EQ(type, kObjectHelper) << name;
    } else if (name.rfind("Bone", 0) == 0) {
      boneCount += type == kObjectBone;
    }
  }
  EXPECT_EQ(meshes, 1);
  // Every bone the skin uses, and only those, is a bone.
  IGameSkin* skin = Node(model, 1).GetObject()->GetIGameSkin();
  ASSERT_NE(skin, nullptr);
  std::set<int> used;
  SceneMesh* mesh = Node(model, 1).GetObject()->AsMesh();
  for (int v = 0; v < mesh->GetVertexCount(); ++v) {
    for (int k = 0; k < skin->GetBoneCount(v); ++k) used.insert(skin->GetBoneNodeId(v, k));
  }
  for (int id : used) EXPECT_EQ(TypeOf(Node(model, id)), kObjectBone) << Node(model, id).GetName();
  EXPECT_GE(boneCount, static_cast<int>(used.size()));
}

TEST(ModelImport, MadeUpSkeletonMeshesOfMeshlessFilesAreLeftOut) {
  const ImportedModel model = Import("Collada/cameras.dae");
  EXPECT_EQ(TypeOf(Node(model, 0)), kObjectHelper);
  for (int id = 1; id <= 3; ++id) EXPECT_EQ(TypeOf(Node(model, id)), 4) << id;
}

TEST(ModelImport, NamesAreMadeUniqueAndSafeForSmdLines) {
  const ImportedModel mirrored = Import("FBX/cubes_with_mirroring_and_pivot.fbx");
  EXPECT_STREQ(Node(mirrored, 2).GetName(), "Cube1");
  EXPECT_STREQ(Node(mirrored, 4).GetName(), "Cube1_4");

  const ImportedModel nameless = Import("FBX/cubes_nonames.fbx");
  std::set<std::string> names;
  for (int id = 0; id < 5; ++id) {
    const std::string name = Node(nameless, id).GetName();
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(name.find('"'), std::string::npos);
    EXPECT_TRUE(names.insert(name).second) << name;
  }
  EXPECT_STREQ(Node(nameless, 1).GetName(), "node_1");
}

TEST(ModelImport, TransformsFollowTheSampledAnimationAtEveryFrame) {
  for (const AnimatedModel& entry : kAnimated) {
    ModelImportOptions options;
    options.animation = entry.animation;
    const ImportedModel model = Import(entry.file, options);
    Assimp::Importer importer;
    const aiScene* source = kw::test::ReadSource(importer, kModelDir + entry.file);
    ASSERT_NE(source, nullptr);
    ASSERT_GE(model.sampledAnimation, 0) << entry.file;
    const aiAnimation* animation = source->mAnimations[model.sampledAnimation];
    const double ticksPerSecond =
        animation->mTicksPerSecond > 0 ? animation->mTicksPerSecond : 25.0;
    const int perFrame = model.scene->GetTicksPerFrame();
    EXPECT_EQ(perFrame, 160);

    const std::vector<aiMatrix4x4> rest =
        kw::test::WorldPose(*source, nullptr, 0.0, kw::test::Upright(entry.up));
    std::vector<aiVector3D> origins;
    for (const aiMatrix4x4& m : rest) origins.emplace_back(m.a4, m.b4, m.c4);
    const float tolerance = 2e-4f * kw::test::Largest(origins);

    for (int tick = model.scene->GetStartTicks(); tick <= model.scene->GetEndTicks();
         tick += perFrame) {
      const double time = tick * ticksPerSecond / kModelTicksPerSecond;
      const std::vector<aiMatrix4x4> world =
          kw::test::WorldPose(*source, animation, time, kw::test::Upright(entry.up));
      for (std::size_t id = 0; id < world.size(); ++id) {
        ExpectSameTransform(Node(model, static_cast<int>(id)).GetNodeTransform(tick), world[id],
                            tolerance,
                            std::string(entry.file) + " node " + std::to_string(id) + " tick " +
                                std::to_string(tick));
      }
    }
  }
}

TEST(ModelImport, TimingComesFromTheAnimationAndTheFrameRate) {
  ModelImportOptions options;
  options.animation = "Wuson_Walk";
  options.fps = 24.0;
  ImportedModel model = Import("X/Testwuson.X", options);
  EXPECT_EQ(model.sampledAnimation, 1);
  EXPECT_EQ(model.scene->GetTicksPerFrame(), 200);
  EXPECT_EQ(model.scene->GetStartTicks(), 0);
  // 3.6 s (the file runs at 4800 ticks a second) is 86.4 frames; the last
  // frame reaches the end, so the last key is written.
  EXPECT_EQ(model.scene->GetEndTicks(), 87 * 200);
  EXPECT_EQ(model.animations[1].lastFrame, 87);
  ASSERT_EQ(model.animations.size(), 3u);
  EXPECT_EQ(model.animations[2].name, "Wuson_Bind");
  EXPECT_DOUBLE_EQ(model.animations[0].endTick, 4640.0);

  options.animation = "2";
  model = Import("X/Testwuson.X", options);
  EXPECT_EQ(model.sampledAnimation, 2);
  EXPECT_EQ(model.scene->GetEndTicks(), 0);

  options.animation = "";
  model = Import("glTF2/simple_skin/simple_skin.gltf", options);
  EXPECT_EQ(model.sampledAnimation, 0);
  EXPECT_EQ(model.scene->GetEndTicks(), 5500 * 4800 / 1000);  // milliseconds in glTF

  options.fps = 7.0;  // 685.7 ticks a frame, rounded
  model = Import("FBX/huesitos.fbx", options);
  EXPECT_EQ(model.scene->GetTicksPerFrame(), 686);
  EXPECT_EQ(model.scene->GetEndTicks(), 11 * 686);  // 39 frames at 25 a second: 10.9 at 7
}

TEST(ModelImport, AnAnimationTheFileLacksIsRefusedWithTheNamesItHas) {
  ModelImportOptions options;
  options.animation = "Swim";
  ImportedModel model;
  std::string error;
  EXPECT_FALSE(ImportModel(kModelDir + "X/Testwuson.X", options, &model, &error));
  EXPECT_EQ(model.scene, nullptr);
  EXPECT_EQ(error, kModelDir +
                       "X/Testwuson.X: no animation \"Swim\"; the file has 0 \"Wuson_Run\", "
                       "1 \"Wuson_Walk\", 2 \"Wuson_Bind\"");
  options.animation = "3";
  EXPECT_FALSE(ImportModel(kModelDir + "X/Testwuson.X", options, &model, &error));
  options.animation = "Walk";
  EXPECT_FALSE(ImportModel(kModelDir + "FBX/spider.fbx", options, &model, &error));
  EXPECT_EQ(error, kModelDir + "FBX/spider.fbx: no animation \"Walk\"; the file has none");
}

TEST(ModelImport, TheRestPoseHoldsAtEveryTick) {
  ModelImportOptions options;
  options.pose = ModelPose::kRest;
  const ImportedModel model = Import("X/Testwuson.X", options);
  EXPECT_EQ(model.sampledAnimation, -1);
  EXPECT_EQ(model.scene->GetEndTicks(), 0);
  Assimp::Importer importer;
  const aiScene* source = kw::test::ReadSource(importer, kModelDir + "X/Testwuson.X");
  ASSERT_NE(source, nullptr);
  const std::vector<aiMatrix4x4> rest =
      kw::test::WorldPose(*source, nullptr, 0.0, kw::test::Upright('y'));
  for (int tick : {0, 160, 4800}) {
    for (std::size_t id = 0; id < rest.size(); ++id) {
      ExpectSameTransform(Node(model, static_cast<int>(id)).GetNodeTransform(tick), rest[id], 1e-4f,
                          "node " + std::to_string(id));
    }
  }
}

std::vector<Point3> SourceCorners(const ImportedModel& model, int nodeId) {
  SceneMesh* mesh = Node(model, nodeId).GetObject()->AsMesh();
  std::vector<Point3> corners;
  for (int f = 0; f < mesh->GetFaceCount(); ++f) {
    for (int c = 0; c < 3; ++c)
      corners.push_back(mesh->GetVertex(static_cast<int>(mesh->GetFace(f).vertex[c]), false));
  }
  return corners;
}

// The corners of a face as a set: a mirrored node swaps two of them.
void ExpectSameFaces(const std::vector<Point3>& ours, const std::vector<aiVector3D>& expected,
                     float tolerance, const std::string& where) {
  ASSERT_EQ(ours.size(), expected.size()) << where;
  for (std::size_t face = 0; face + 2 < ours.size(); face += 3) {
    for (std::size_t c = face; c < face + 3; ++c) {
      float nearest = INFINITY;
      for (std::size_t d = face; d < face + 3; ++d) {
        nearest = std::min(
            nearest, kw::test::Distance(aiVector3D(ours[c].x, ours[c].y, ours[c].z), expected[d]));
      }
      ASSERT_LT(nearest, tolerance) << where << " face " << face / 3;
    }
  }
}

TEST(ModelImport, MeshesArePosedAtTickZeroLikeTheirSkeleton) {
  for (const AnimatedModel& entry : kAnimated) {
    for (bool rest : {false, true}) {
      ModelImportOptions options;
      options.animation = entry.animation;
      options.pose = rest ? ModelPose::kRest : ModelPose::kAnimation;
      const ImportedModel model = Import(entry.file, options);
      Assimp::Importer importer;
      const aiScene* source = kw::test::ReadSource(importer, kModelDir + entry.file);
      ASSERT_NE(source, nullptr);
      const aiAnimation* animation = rest ? nullptr : source->mAnimations[model.sampledAnimation];
      const std::vector<aiMatrix4x4> pose =
          kw::test::WorldPose(*source, animation, 0.0, kw::test::Upright(entry.up));
      const std::vector<const aiNode*> order = kw::test::PreOrder(*source);
      for (std::size_t id = 0; id < order.size(); ++id) {
        if (order[id]->mNumMeshes == 0) continue;
        const std::vector<aiVector3D> expected = kw::test::PosedCorners(*source, *order[id], pose);
        ExpectSameFaces(SourceCorners(model, static_cast<int>(id)), expected,
                        2e-4f * kw::test::Largest(expected),
                        std::string(entry.file) + (rest ? " rest" : " tick 0") + " node " +
                            order[id]->mName.C_Str());
      }
    }
  }
}

TEST(ModelImport, SkinLinksNameTheBoneNodesWithTheFilesWeights) {
  const ImportedModel model = Import("glTF2/simple_skin/simple_skin.gltf");
  SceneMesh* mesh = Node(model, 0).GetObject()->AsMesh();
  IGameSkin* skin = Node(model, 0).GetObject()->GetIGameSkin();
  ASSERT_NE(skin, nullptr);
  Assimp::Importer importer;
  const aiScene* source =
      kw::test::ReadSource(importer, kModelDir + "glTF2/simple_skin/simple_skin.gltf");
  ASSERT_NE(source, nullptr);
  const aiMesh& sourceMesh = *source->mMeshes[0];
  int links = 0;
  for (unsigned b = 0; b < sourceMesh.mNumBones; ++b) {
    const aiBone& bone = *sourceMesh.mBones[b];
    for (unsigned w = 0; w < bone.mNumWeights; ++w) {
      const int v = static_cast<int>(bone.mWeights[w].mVertexId);
      bool found = false;
      for (int k = 0; k < skin->GetBoneCount(v); ++k) {
        if (std::string(Node(model, skin->GetBoneNodeId(v, k)).GetName()) == bone.mName.C_Str()) {
          EXPECT_FLOAT_EQ(skin->GetWeight(v, k), bone.mWeights[w].mWeight);
          found = true;
        }
      }
      EXPECT_TRUE(found) << bone.mName.C_Str() << " vertex " << v;
      ++links;
    }
  }
  int total = 0;
  for (int v = 0; v < mesh->GetVertexCount(); ++v) total += skin->GetBoneCount(v);
  EXPECT_EQ(total, links);
}

// What the exporter will write: the stored normal turned by the node's
// tick-0 transform without scale.
Point3 ExportedNormal(MemoryNode& node, const Point3& stored) {
  Matrix3 unscaled = node.GetNodeTransform(0);
  unscaled.NoScale();
  return VectorTransform(unscaled, stored);
}

TEST(ModelImport, NormalsReachTheExporterAsUnitWorldNormalsFacingLikeTheWinding) {
  for (const char* file : {"FBX/spider.fbx", "FBX/cubes_with_mirroring_and_pivot.fbx",
                           "X/BCN_Epileptic.X", "Collada/duck.dae", "MS3D/jeep1.ms3d"}) {
    const ImportedModel model = Import(file);
    int faces = 0, agreeing = 0;
    for (int id = 0;; ++id) {
      MemoryNode* node = model.scene->FindNode(id);
      if (!node) break;
      SceneMesh* mesh = node->GetObject()->AsMesh();
      if (!mesh) continue;
      const HostMesh& host = mesh->GetHostMesh();
      ASSERT_EQ(host.renderVertices.size(), static_cast<std::size_t>(mesh->GetVertexCount()));
      ASSERT_EQ(host.faceNormals.size(), static_cast<std::size_t>(mesh->GetFaceCount()));
      for (const RenderVertex& vertex : host.renderVertices) {
        EXPECT_EQ(vertex.NormalCount(), 1);
        EXPECT_NEAR(Length(ExportedNormal(*node, vertex.singleNormal.normal)), 1.0f, 1e-4f) << file;
      }
      for (int f = 0; f < mesh->GetFaceCount(); ++f) {
        const MeshFace& face = mesh->GetFace(f);
        EXPECT_EQ(face.smoothingGroup, 1u);
        const Point3 faceNormal =
            ExportedNormal(*node, host.faceNormals[static_cast<std::size_t>(f)]);
        const Point3 p0 = mesh->GetVertex(static_cast<int>(face.vertex[0]), false);
        const Point3 winding =
            CrossProd(mesh->GetVertex(static_cast<int>(face.vertex[1]), false) - p0,
                      mesh->GetVertex(static_cast<int>(face.vertex[2]), false) - p0);
        if (Length(winding) == 0.0f) continue;
        EXPECT_GT(DotProd(faceNormal, winding.Normalize()), 0.999f) << file << " face " << f;
        Point3 corners;
        for (std::uint32_t v : face.vertex) {
          corners = corners + ExportedNormal(*node, host.renderVertices[v].singleNormal.normal);
        }
        ++faces;
        agreeing += DotProd(corners, faceNormal) > 0.0f;
      }
    }
    // Smoothed normals may lean past a sharp face here and there, never en masse.
    EXPECT_GT(agreeing, faces * 95 / 100) << file << ": " << agreeing << " of " << faces;
  }
}

TEST(ModelImport, SeveralMaterialsOnANodeBecomeAMultiSubObjectWithIds) {
  const ImportedModel model = Import("X/kwxport_test_cubewithvcolors.x");
  Assimp::Importer importer;
  const aiScene* source =
      kw::test::ReadSource(importer, kModelDir + "X/kwxport_test_cubewithvcolors.x");
  ASSERT_NE(source, nullptr);
  const std::vector<const aiNode*> order = kw::test::PreOrder(*source);
  bool sawMulti = false;
  for (std::size_t id = 0; id < order.size(); ++id) {
    MemoryNode& node = Node(model, static_cast<int>(id));
    SceneMesh* mesh = node.GetObject()->AsMesh();
    if (!mesh) continue;
    SceneMaterial* material = node.GetMaterial();
    ASSERT_NE(material, nullptr);
    if (!material->IsMultiMaterial()) continue;
    sawMulti = true;
    EXPECT_STREQ(material->GetClassName(), "Multi/Sub-Object");
    // Face by face, the sub-material's texture is the one of the source mesh the face came from.
    std::vector<std::string> expected;
    for (unsigned k = 0; k < order[id]->mNumMeshes; ++k) {
      const aiMesh& part = *source->mMeshes[order[id]->mMeshes[k]];
      aiString path;
      source->mMaterials[part.mMaterialIndex]->GetTexture(aiTextureType_DIFFUSE, 0, &path);
      for (unsigned f = 0; f < part.mNumFaces; ++f) expected.push_back(path.C_Str());
    }
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(mesh->GetFaceCount()));
    for (int f = 0; f < mesh->GetFaceCount(); ++f) {
      const int materialId = mesh->GetFace(f).materialId;
      SceneMaterial* sub = nullptr;
      for (int i = 0; i < material->GetSubMaterialCount(); ++i) {
        if (material->GetSubMaterialId(i) == materialId) sub = material->GetSubMaterial(i);
      }
      ASSERT_NE(sub, nullptr) << "face " << f;
      EXPECT_STREQ(sub->GetClassName(), "Standard");
      ASSERT_NE(sub->GetTextureMap(0), nullptr);
      EXPECT_EQ(sub->GetTextureMap(0)->GetBitmapFileName(), expected[static_cast<std::size_t>(f)]);
    }
  }
  EXPECT_TRUE(sawMulti);
}

TEST(ModelImport, EmbeddedTexturesGetTheNamesAssimpExtractWrites) {
  const ImportedModel model = Import("glTF2/BoxTextured-glTF-Binary/BoxTextured.glb");
  bool found = false;
  for (int id = 0; model.scene->FindNode(id); ++id) {
    SceneMaterial* material = Node(model, id).GetMaterial();
    if (!material || !material->GetTextureMap(0)) continue;
    EXPECT_STREQ(material->GetTextureMap(0)->GetBitmapFileName(), "BoxTextured_img0.png");
    found = true;
  }
  EXPECT_TRUE(found);
}

TEST(ModelImport, AMeshWithoutUvsSharesOneZeroUvAndWarnsOnce) {
  const ImportedModel model = Import("3DS/fels.3ds");
  SceneMesh* mesh = Node(model, 1).GetObject()->AsMesh();
  ASSERT_NE(mesh, nullptr);
  EXPECT_EQ(mesh->GetTexVertexCount(), 1);
  EXPECT_EQ(mesh->GetTexVertex(0).x, 0.0f);
  EXPECT_EQ(mesh->GetTexVertex(0).y, 0.0f);
  for (int f = 0; f < mesh->GetFaceCount(); ++f) {
    for (std::uint32_t t : mesh->GetFace(f).texVertex) ASSERT_EQ(t, 0u);
  }
  ASSERT_EQ(model.warnings.size(), 1u);
  EXPECT_EQ(
      model.warnings[0].text,
      "mesh \"3DSMesh_0\" has no texture coordinates; its faces are written with u, v = 0, 0");
}

TEST(ModelImport, GltfIsTurnedUprightAndUpAndScaleOverrideIt) {
  const std::string file = "glTF2/BoxTextured-glTF-Binary/BoxTextured.glb";
  Assimp::Importer importer;
  const aiScene* source = kw::test::ReadSource(importer, kModelDir + file);
  ASSERT_NE(source, nullptr);
  const std::vector<const aiNode*> order = kw::test::PreOrder(*source);
  int meshNode = -1;
  for (std::size_t id = 0; id < order.size(); ++id) {
    if (order[id]->mNumMeshes > 0) meshNode = static_cast<int>(id);
  }
  ASSERT_GE(meshNode, 0);

  struct Case {
    const char* up;
    float scale;
    char used;
  };
  for (const Case& c : {Case{"", 1.0f, 'y'}, Case{"z", 1.0f, 'z'}, Case{"y", 2.5f, 'y'}}) {
    ModelImportOptions options;
    options.up = c.up;
    options.scale = c.scale;
    const ImportedModel model = Import(file, options);
    EXPECT_EQ(model.sourceUp, c.used);
    EXPECT_EQ(model.upReason, c.up[0] ? "--up" : "format");
    const std::vector<aiMatrix4x4> pose =
        kw::test::WorldPose(*source, nullptr, 0.0, kw::test::Upright(c.used, c.scale));
    ExpectSameFaces(SourceCorners(model, meshNode),
                    kw::test::PosedCorners(*source, *order[meshNode], pose), 1e-5f,
                    std::string("up ") + c.up);
  }
}

TEST(ModelImport, FbxStatesItsUpAxisInItsMetadata) {
  const ImportedModel model = Import("FBX/animation_with_skeleton.fbx");
  EXPECT_EQ(model.sourceUp, 'y');
  EXPECT_FALSE(model.sourceUpNegative);
  EXPECT_EQ(model.upReason, "file metadata");
  EXPECT_EQ(model.format, "Autodesk FBX Importer");
}

TEST(ModelImport, OptionsOutOfRangeAreRefused) {
  ImportedModel model;
  std::string error;
  ModelImportOptions options;
  options.fps = 0.0;
  EXPECT_FALSE(ImportModel(kModelDir + "FBX/box.fbx", options, &model, &error));
  options = ModelImportOptions();
  options.scale = -1.0;
  EXPECT_FALSE(ImportModel(kModelDir + "FBX/box.fbx", options, &model, &error));
  options = ModelImportOptions();
  options.up = "w";
  EXPECT_FALSE(ImportModel(kModelDir + "FBX/box.fbx", options, &model, &error));
  EXPECT_FALSE(ImportModel(kModelDir + "no/such/file.fbx", ModelImportOptions(), &model, &error));
  EXPECT_EQ(error.find(kModelDir + "no/such/file.fbx: "), 0u);
}

}  // namespace

namespace {

// What in assimp's log tells of data it dropped; case and hyphens as it varies them.
TEST(ModelImport, DroppedDataIsToldByItsPhrases) {
  const std::pair<const char*, bool> cases[] = {{"Out-Of-Range face index 9", true},
                                                {"value out of-range", true},
                                                {"Invalid index 7", true},
                                                {"invalid vertex-weight index", true},
                                                {"invalid face vertex index", false},
                                                {"invalid  index", false},
                                                {"Index overflow in mesh 2", true},
                                                {"3 bones were dropped", true},
                                                {"out of memory; invalid texture", false},
                                                {"", false}};
  for (const auto& [message, told] : cases) {
    EXPECT_EQ(kw::model_import::TellsOfDroppedData(message), told) << message;
  }
}

// A reader could hand over a node twice, or a node as its own ancestor.
TEST(ModelImport, TheNodeWalkTakesEachNodeOnceAndEnds) {
  aiNode root("Root");
  aiNode child("Child");
  aiNode* rootChildren[] = {&child, &child};
  aiNode* childChildren[] = {&root};
  root.mChildren = rootChildren;
  root.mNumChildren = 2;
  child.mChildren = childChildren;
  child.mNumChildren = 1;
  child.mParent = &root;
  aiScene scene;
  scene.mRootNode = &root;

  MemoryScene out;
  kw::model_import::NodeTable table;
  kw::model_import::SceneFrame frame;
  kw::model_import::BuildNodes(scene, nullptr, frame, &out, &table);
  std::string error;
  EXPECT_TRUE(kw::model_import::CheckFinite(scene, nullptr, &error)) << error;

  // Hand the nodes back before the destructors would follow the loop.
  scene.mRootNode = nullptr;
  root.mChildren = nullptr;
  root.mNumChildren = 0;
  child.mChildren = nullptr;
  child.mNumChildren = 0;

  ASSERT_EQ(table.nodes.size(), 2u);
  EXPECT_STREQ(table.nodes[0]->GetName(), "Root");
  EXPECT_STREQ(table.nodes[1]->GetName(), "Child");
  EXPECT_EQ(table.nodes[1]->GetSceneParent(), table.nodes[0]);
}

}  // namespace
