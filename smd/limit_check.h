// The compiler's limits, checked on an SMD as read: what studiomdl refuses,
// cuts or changes without a word. The limits are one table (kLimits), each
// row with its figure and where the figure comes from; docs/smd-check.md
// says the same for users.
#pragma once

#include <cstddef>
#include <cstdint>
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
  kBogusBone,        // a vertex or a node naming a bone the file does not have
  kFrameTimes,       // time numbers that go back or skip a frame
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
  bool reference = false;               // a triangles section was there
  std::vector<std::uint8_t> usedNodes;  // per node: a vertex is bound to it
  std::size_t bogusVertices = 0;        // unique vertices naming a bone not there,
  int bogusLine = 0;                    // the first on this line,
  int bogusBone = 0;                    // naming this bone
  std::size_t timeBreaks = 0;           // frames whose time does not follow the last one's;
  int timeBreakLine = 0;                // the first, its line,
  int timeBefore = 0;                   // and the times before and at it
  int timeAfter = 0;
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
// In a reference: the nodes its vertices are bound to, with their ancestors,
// which are the bones the compiler keeps of the SMD alone.
std::size_t NodesInUse(const Tally& tally);
// Every limit the tally breaks, in the order of kLimits.
std::vector<Finding> Findings(const Tally& tally);
// Every limit the file breaks, in the order of kLimits.
inline std::vector<Finding> CheckLimits(const File& file) { return Findings(TallyOf(file)); }

// What the compiler keeps of a vertex's links: links to one bone summed,
// those below kLinkWeightFloor dropped (the largest stays if none is left),
// then the kMaxLinks largest. *kept gets them, largest first, ties in the
// order the file gives. Returns the share of the vertex's whole weight that
// this removes when more than kMaxLinks links reach the floor, else -1: the
// figure export --max-links reports for the links it trims. n log n in count.
float WeightLost(const Link* links, std::size_t count, std::vector<Link>* kept);

const LimitRow& LimitOf(Limit limit);

}  // namespace kw::smd
