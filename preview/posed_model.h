// Where a reference's corners and joints are in one picture: as read, or
// skinned by one frame of a sequence.
#pragma once

#include <vector>

#include "geometry/geometry.h"
#include "smd/smd_file.h"

namespace kw::preview {

class PosedModel {
 public:
  // The reference as read: its corners and its first frame's skeleton.
  explicit PosedModel(const smd::File& reference);
  // The reference skinned by one frame of a sequence whose nodes are matched
  // to the reference's by name; a node the sequence lacks stays where the
  // reference has it.
  PosedModel(const smd::File& reference, const smd::File& sequence, const smd::Frame& frame);

  // The reference with its corners at these positions (3 x triangle + corner),
  // as a VTA's shape puts them.
  PosedModel(const smd::File& reference, std::vector<Point3> corners);

  Point3 Corner(std::size_t triangle, int corner) const;
  // Position of each node of the reference (by place in reference.nodes), and
  // the place of its parent or -1.
  const std::vector<Point3>& Joints() const { return joints_; }
  const std::vector<int>& Parents() const { return parents_; }

 private:
  const smd::File& reference_;
  std::vector<Point3> corners_;  // empty: the reference's own positions
  std::vector<Point3> joints_;
  std::vector<int> parents_;
};

}  // namespace kw::preview
