// The scene-access interface: everything the exporter core knows of a scene.
// A host (our in-memory scene, a scene file, a model importer, or the real
// modelling package) implements these classes; the core reads only through
// them. Names follow the modelling package's scene-access library.
//
// Ownership: every object, name string and matrix handed out belongs to the
// scene and stays valid until IGameScene::Release().
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/geometry.h"

class IGameObject;
class IGameSkin;
class HostNode;
class SceneMaterial;

// Object type codes of IGameObject::GetObjectType().
enum IGameObjectType : int {
  kObjectMesh = 2,
  kObjectHelper = 5,
  kObjectBone = 6,
  kObjectIkChain = 7,
};

// An IGame matrix; the core only ever asks for its Matrix3 form.
class GMatrix {
 public:
  GMatrix() = default;
  explicit GMatrix(const Matrix3& m) : matrix_(m) {}
  Matrix3 ExtractMatrix3() const { return matrix_; }

 private:
  Matrix3 matrix_;
};

struct Point2 {
  float x = 0.0f, y = 0.0f;
};

// One triangle of a SceneMesh.
struct MeshFace {
  std::uint32_t vertex[3] = {0, 0, 0};
  std::uint32_t texVertex[3] = {0, 0, 0};
  std::uint32_t smoothingGroup = 0;  // bit mask; 0: in no smoothing group
  int materialId = 0;
};

// One normal of a render vertex and the smoothing groups that use it there.
struct RenderNormal {
  Point3 normal;
  std::uint32_t smoothingGroup = 0;
};

// The normals the host worked out for one vertex. The low 8 bits of flags
// count them; one normal sits in singleNormal, several in extraNormals.
struct RenderVertex {
  std::uint32_t flags = 0;
  RenderNormal singleNormal;
  std::vector<RenderNormal> extraNormals;

  int NormalCount() const { return static_cast<int>(flags & 0xFFu); }
};

// The host's own mesh behind a SceneMesh: one render vertex per mesh vertex
// and one normal per face.
struct HostMesh {
  std::vector<RenderVertex> renderVertices;
  std::vector<Point3> faceNormals;
};

// The node as the host holds it; node-to-world transform at any tick.
class HostNode {
 public:
  virtual ~HostNode() = default;
  virtual Matrix3 GetNodeTransform(int tick) const = 0;
};

class SceneTextureMap {
 public:
  virtual ~SceneTextureMap() = default;
  // Full path of the bitmap, or null when the map has none.
  virtual const char* GetBitmapFileName() const = 0;
};

class SceneMaterial {
 public:
  virtual ~SceneMaterial() = default;
  virtual bool IsMultiMaterial() const = 0;
  virtual const char* GetName() const = 0;
  // "Standard", "Multi/Sub-Object" or any other class name.
  virtual const char* GetClassName() const = 0;
  virtual int GetSubMaterialCount() const = 0;
  // Null when i is out of range or the slot is empty.
  virtual SceneMaterial* GetSubMaterial(int i) const = 0;
  virtual int GetSubMaterialId(int i) const = 0;
  // Null when the material has no such map.
  virtual SceneTextureMap* GetTextureMap(int i) const = 0;
};

class IGameSkin {
 public:
  virtual ~IGameSkin() = default;
  virtual int GetBoneCount(int vertex) const = 0;
  // Node id (as SceneNode::GetNodeId) of link k of the vertex.
  virtual int GetBoneNodeId(int vertex, int k) const = 0;
  virtual float GetWeight(int vertex, int k) const = 0;
};

class SceneMesh;

class IGameObject {
 public:
  virtual ~IGameObject() = default;
  virtual int GetObjectType() const = 0;
  // Null when the object has no skin.
  virtual IGameSkin* GetIGameSkin() const = 0;
  // The mesh view of an object of type 2; null for every other object, and
  // for a type-2 object the host cannot read as a mesh.
  virtual SceneMesh* AsMesh() { return nullptr; }
};

class SceneMesh : public IGameObject {
 public:
  SceneMesh* AsMesh() override { return this; }

  virtual bool PrepareBinormals() = 0;
  // False when the mesh data cannot be read.
  virtual bool InitialiseData() = 0;
  virtual int GetVertexCount() const = 0;
  virtual int GetTexVertexCount() const = 0;
  virtual int GetFaceCount() const = 0;
  // objectSpace false: scene (world) coordinates.
  virtual Point3 GetVertex(int i, bool objectSpace) const = 0;
  virtual Point2 GetTexVertex(int i) const = 0;
  virtual const MeshFace& GetFace(int i) const = 0;
  virtual const HostMesh& GetHostMesh() const = 0;

  // Morph targets (shape keys): whole other shapes of the mesh, numbered as
  // its vertices and in the same space, so that an export reads them as it
  // reads the mesh. A host without any keeps these answers.
  virtual int GetMorphTargetCount() const { return 0; }
  // Null or empty when the target has no name.
  virtual const char* GetMorphTargetName(int /*target*/) const { return nullptr; }
  // Vertex i in the target, as GetVertex(i, false) gives it in the mesh.
  virtual Point3 GetMorphTargetVertex(int /*target*/, int i) const { return GetVertex(i, false); }
  // False: the target leaves every normal as the mesh has it.
  virtual bool MorphTargetHasNormals(int /*target*/) const { return false; }
  // The normal of vertex i in the target, in the form of the host mesh's
  // render normals (the export turns both by the node's rotation at tick 0).
  virtual Point3 GetMorphTargetNormal(int /*target*/, int /*i*/) const { return Point3(); }
};

class SceneNode {
 public:
  virtual ~SceneNode() = default;
  virtual IGameObject* GetObject() = 0;
  virtual const char* GetName() const = 0;
  // Distinct for every node of the scene.
  virtual int GetNodeId() const = 0;
  // Null for a top-level node.
  virtual SceneNode* GetParent() = 0;
  virtual int GetChildCount() const = 0;
  virtual SceneNode* GetChild(int i) = 0;
  virtual GMatrix GetObjectTransform(int tick) const = 0;
  virtual HostNode* GetHostNode() = 0;
  // Null when no material is assigned.
  virtual SceneMaterial* GetMaterial() = 0;
  // Pruned: the node and its whole subtree are left out.
  virtual bool IsPruned() const = 0;
  // Excluded: the node is left out unless only the selection is exported.
  virtual bool IsExcluded() const = 0;
};

class IGameScene {
 public:
  virtual ~IGameScene() = default;
  // Afterwards the top-level nodes are those of the whole scene, or of the
  // selection only.
  virtual bool Initialise(bool selectedOnly) = 0;
  virtual void SetStaticFrame(int frame) = 0;
  virtual int GetStartTicks() const = 0;
  virtual int GetEndTicks() const = 0;
  // Never 0.
  virtual int GetTicksPerFrame() const = 0;
  virtual int GetTopLevelNodeCount() const = 0;
  virtual SceneNode* GetTopLevelNode(int i) = 0;
  // Ends the use of every object obtained from the scene.
  virtual void Release() = 0;
};

class IGameConversionManager {
 public:
  virtual ~IGameConversionManager() = default;
  virtual void SetCoordSystem(int system) = 0;
};

class IGameErrorCallBack {
 public:
  virtual ~IGameErrorCallBack() = default;
  virtual void ErrorProc(int errorCode) = 0;
};
