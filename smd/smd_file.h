// An SMD file as read back: ours or another tool's. Flat arrays, so a reference
// of millions of triangles costs little more than its numbers; the checker,
// the preview and the tests all read through this one model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kw::smd {

struct Node {
  int index = -1;
  std::string name;
  int parent = -1;
  int line = 0;  // where it was read, for messages; 0 for a node whose line was lost
};

// One pose line: position and the X, Y, Z angles in radians, applied as
// RotateX * RotateY * RotateZ (row vectors).
struct Pose {
  int node = -1;
  float position[3] = {0, 0, 0};
  float rotation[3] = {0, 0, 0};
};

// One "time" block of the skeleton section; its poses are file.poses
// [firstPose, firstPose + poseCount).
struct Frame {
  int time = 0;
  int line = 0;
  std::uint32_t firstPose = 0;
  std::uint32_t poseCount = 0;
};

struct Link {
  int bone = -1;
  float weight = 0;
};

// One corner of a triangle; its links are file.links[firstLink, firstLink + linkCount).
struct Vertex {
  int bone = -1;
  float position[3] = {0, 0, 0};
  float normal[3] = {0, 0, 0};
  float uv[2] = {0, 0};
  std::uint32_t firstLink = 0;
  std::uint32_t linkCount = 0;
};

struct Triangle {
  std::uint32_t material = 0;  // index into file.materials
  int line = 0;                // of the texture-name line
  Vertex corners[3];
};

// One line of a "vertexanimation" section (a VTA's shapes): the vertex's
// running number over the reference's corners (3 x triangle + corner).
struct ShapeVertex {
  int number = -1;
  int line = 0;
  float position[3] = {0, 0, 0};
  float normal[3] = {0, 0, 0};
};

// One "time" block of the vertexanimation section; its vertices are
// file.shapeVertices[firstVertex, firstVertex + vertexCount).
struct ShapeFrame {
  int time = 0;
  int line = 0;
  std::uint32_t firstVertex = 0;
  std::uint32_t vertexCount = 0;
};

// A line that could not be taken in; the file is still read past it.
struct LineProblem {
  int line = 0;
  std::string message;
};

struct File {
  int version = 0;
  std::vector<Node> nodes;
  std::vector<Frame> frames;
  std::vector<Pose> poses;
  bool hasTriangles = false;           // a triangles section was present, even an empty one
  std::vector<std::string> materials;  // texture names, in order of first use
  std::vector<Triangle> triangles;
  std::vector<Link> links;
  bool hasVertexAnimation = false;  // a vertexanimation section: a VTA
  std::vector<ShapeFrame> shapeFrames;
  std::vector<ShapeVertex> shapeVertices;
  std::vector<LineProblem> problems;  // the first 100, then one line saying how many more
  std::size_t problemCount = 0;       // every line that could not be taken in
};

}  // namespace kw::smd
