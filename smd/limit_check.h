// The compiler's limits, checked on an SMD as read: what studiomdl refuses,
// cuts or changes without a word. The limits are one table (kLimits), each
// row with its figure and where the figure comes from; docs/smd-check.md
// says the same for users.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/warning.h"
#include "smd/smd_file.h"

namespace kw::smd {

enum class Limit {
  kNodes,            // more nodes than the compiler's bone table holds
  kLinks,            // vertices with more links than the compiler keeps
  kUniqueVertices,   // a reference with more unique vertices than a model may have
  kMaterials,        // more materials than a model may have
  kMaterialName,     // a material name too long or with whitespace
  kRepeatedName,     // two nodes of one name
  kNonFinite,        // a number that is infinite or not a number
  kUnparsedLine,     // a line the reader could not take in
  kIncompleteFrame,  // a frame that leaves out a node
};

struct LimitRow {
  Limit limit;
  WarningKind kind;  // its warning kind, which also names it
  double figure;     // the largest allowed (0 where any one case is a finding)
  const char* source;
};

extern const LimitRow kLimits[];
extern const std::size_t kLimitCount;

// Links the compiler keeps per vertex, and the weight below which it drops a
// link before it renormalises the rest.
constexpr int kMaxLinks = 3;
constexpr float kLinkWeightFloor = 0.05f;

struct Finding {
  Limit limit;
  std::string message;  // one line, without the file's name
};

// Every limit the file breaks, in the order of kLimits.
std::vector<Finding> CheckLimits(const File& file);

const LimitRow& LimitOf(Limit limit);

}  // namespace kw::smd
