// The compiler's limits, checked on an SMD as read: what studiomdl refuses,
// cuts or changes without a word. The limits are one table (kLimits), each
// row with its figure and where the figure comes from; docs/smd-check.md
// says the same for users.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "diagnostics/warning.h"
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

// What the limits need to know of a file, and no more: gathered from a file
// read back (TallyOf) or from its text as it is written (smd/stream_check.h),
// so that both say the same in the same words (Findings).
struct Tally {
  std::vector<Node> nodes;
  std::vector<std::string> materials;
  std::size_t frames = 0;
  std::size_t triangles = 0;
  std::size_t uniqueVertices = 0;
  std::size_t overLinked = 0;  // unique vertices that lose links
  float worstLoss = 0;         // the largest share lost, first on worstLine
  int worstLine = 0;
  std::size_t nonFiniteLines = 0;
  int nonFiniteLine = 0;   // the first such line, and
  int nonFiniteNode = -1;  // its node and time when it is a pose, -1 for a vertex
  int nonFiniteTime = 0;
  std::vector<LineProblem> problems;
  std::size_t incompleteFrames = 0;
  int incompleteTime = 0;  // the first incomplete frame, its line,
  int incompleteLine = 0;
  int missingNode = 0;  // the first node it leaves out and how many more
  std::size_t missingMore = 0;
};

Tally TallyOf(const File& file);
// Every limit the tally breaks, in the order of kLimits.
std::vector<Finding> Findings(const Tally& tally);
// Every limit the file breaks, in the order of kLimits.
inline std::vector<Finding> CheckLimits(const File& file) { return Findings(TallyOf(file)); }

// The share of a vertex's weight the compiler loses by keeping kMaxLinks
// links, after it has dropped those below kLinkWeightFloor and renormalised;
// negative when it keeps them all.
float WeightLost(const Link* links, std::size_t count, std::vector<Link>* scratch);

const LimitRow& LimitOf(Limit limit);

}  // namespace kw::smd
