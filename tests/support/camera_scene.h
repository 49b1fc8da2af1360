// A scene file of a bone under a moving camera, exported by the export's
// own tests and through the plug-in's adapter against one golden file
// (export/golden/skeleton_camera_child_sequence.smd): Gun sits 1 along x of a
// camera that moves 20 along x and turns a quarter about z over two frames.
#pragma once

namespace kw::test {

inline constexpr const char kBoneUnderCameraScene[] =
    R"({"version": 1, "time": {"start": 0, "end": 320, "ticksPerFrame": 160},
    "nodes": [
      {"id": 1, "name": "Cam", "type": 4, "transform": {
        "position": [{"tick": 0, "value": [0, 0, 0]}, {"tick": 320, "value": [20, 0, 0]}],
        "rotation": [{"tick": 0, "euler": [0, 0, 0]}, {"tick": 320, "euler": [0, 0, 90]}]}},
      {"id": 2, "name": "Gun", "type": 6, "parent": 1,
       "transform": {"matrix": [[1, 0, 0], [0, 1, 0], [0, 0, 1], [1, 0, 0]]}}]})";

}  // namespace kw::test
