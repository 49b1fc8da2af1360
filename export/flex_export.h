// The vertex animation file (VTA) of a scene's morph targets, the
// compiler's flexes: a sibling of ExportScene that writes, beside the
// reference, the same nodes, the reference's pose once per frame, and
//   vertexanimation
//   time 0     every corner of the reference's triangles, in the order it
//              writes them (triangle t, corner c is number 3t + c), as
//              "number x y z nx ny nz" with the very text of its vertex line
//   time k     for shape k = 1..n, the corners it changes, shaped
//   end
// The faces the reference leaves out are left out here too; the warnings
// its export gives about them are not given again.
//
// Targets are matched across meshes by name (MorphTargetName): a shape is
// every target of that name, and a mesh without it adds nothing to its
// frame; a mesh's second target of one name is "<name>_2", with a warning.
// A target's normal is the shaped normal of its vertex in faces of a
// smoothing group; faces of none keep their face normal, and a target
// without normals keeps every normal. A shaped corner that is not a finite
// number keeps the reference's values, with a warning.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "export/export_scene.h"

namespace kw {

struct FlexShape {
  std::string name;        // the scene's (MorphTargetName)
  std::string controller;  // made safe and unique (MakeControllerNames)
  bool renamed = false;    // controller differs from name
  int frame = 0;           // its time in the file: 1, 2, ...
  // Vertex lines of its frame; left 0 by FindFlexes.
  std::uint64_t vertices = 0;
};

struct FlexList {
  std::vector<FlexShape> shapes;  // in frame order
  // Lines of time 0: the corners of the reference's triangles; left 0 by FindFlexes.
  std::uint64_t baseVertices = 0;
};

// Writes the VTA of the host's scene to vtaPath, opened through files (as
// OutputKind::kSmd; the log as ExportScene opens it). The options are those
// of the reference it goes with; a sequence is never written. shapesOut, when
// given, gets the shapes as written.
ExportResult ExportFlexes(SceneHost& host, const ExportOptions& options, const std::string& vtaPath,
                          OutputFiles& files, const ExportReports& reports, FlexList* shapesOut);

// The shapes ExportFlexes would write, without writing anything: empty when
// the exported meshes have no morph targets. False when there is no scene.
bool FindFlexes(SceneHost& host, const ExportOptions& options, FlexList* shapes);

}  // namespace kw
