#include "smd/limit_check.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "smd/hash_set.h"
#include "smd/text_format.h"

namespace kw::smd {

// The figures are studiomdl's; the names in brackets are its own, from the
// model format's header (studio.h) where it has one.
const LimitRow kLimits[] = {
    {Limit::kNodes, WarningKind::kTooManyNodes, 128,
     "the compiler's bone table holds 128 bones (MAXSTUDIOBONES); it refuses more"},
    {Limit::kLinks, WarningKind::kTooManyLinks, kMaxLinks,
     "a compiled vertex holds 3 bone weights (MAX_NUM_BONES_PER_VERT); the compiler drops "
     "links below 0.05, renormalises, and keeps the 3 largest"},
    {Limit::kUniqueVertices, WarningKind::kTooManyVertices, 65536,
     "a model's vertices are counted in 16 bits (MAXSTUDIOVERTS)"},
    {Limit::kMaterials, WarningKind::kTooManyMaterials, 32,
     "a model has at most 32 textures (MAXSTUDIOSKINS)"},
    {Limit::kMaterialName, WarningKind::kBadMaterialName, 63,
     "the compiler keeps a texture name in 64 bytes with its closing zero, and reads the name "
     "as one word, so whitespace cuts it"},
    {Limit::kRepeatedName, WarningKind::kRepeatedNodeName, 0,
     "the compiler finds bones by name; two nodes of one name become one bone"},
    {Limit::kNonFinite, WarningKind::kNonFiniteNumber, 0,
     "an infinite or undefined number has no place in a compiled model"},
    {Limit::kUnparsedLine, WarningKind::kUnparsedLine, 0,
     "the compiler stops at, or misreads, a line it cannot parse"},
    {Limit::kIncompleteFrame, WarningKind::kIncompleteFrame, 0,
     "a frame that leaves out a node leaves that node's pose to the compiler"},
};
const std::size_t kLimitCount = sizeof kLimits / sizeof kLimits[0];

const LimitRow& LimitOf(Limit limit) { return kLimits[static_cast<std::size_t>(limit)]; }

namespace {

// Names may hold anything; a message stays one line and short.
std::string Quoted(const std::string& name) {
  std::string text = "\"";
  for (char c : name.substr(0, 80)) {
    if (static_cast<unsigned char>(c) < 0x20) {
      text += FormatText("\\x%02x", static_cast<unsigned char>(c));
    } else {
      text += c;
    }
  }
  if (name.size() > 80) text += "...";
  return text + "\"";
}

int Figure(Limit limit) { return static_cast<int>(LimitOf(limit).figure); }

// A vertex is the same vertex wherever it recurs when its bone, position,
// normal, texture coordinates and links all have the same bits.
std::uint64_t VertexHash(const File& file, const Vertex& vertex) {
  std::uint64_t hash = 0;
  auto mix = [&hash](std::uint32_t a, std::uint32_t b) {
    hash = (hash ^ (std::uint64_t{a} << 32 | b)) * 0x9e3779b97f4a7c15ull;
    hash ^= hash >> 29;
  };
  auto bits = [](float value) {
    std::uint32_t word;
    std::memcpy(&word, &value, sizeof word);
    return word;
  };
  mix(static_cast<std::uint32_t>(vertex.bone), bits(vertex.position[0]));
  mix(bits(vertex.position[1]), bits(vertex.position[2]));
  mix(bits(vertex.normal[0]), bits(vertex.normal[1]));
  mix(bits(vertex.normal[2]), bits(vertex.uv[0]));
  mix(bits(vertex.uv[1]), vertex.linkCount);
  const std::size_t end =
      std::min<std::size_t>(vertex.firstLink + std::size_t{vertex.linkCount}, file.links.size());
  for (std::size_t k = vertex.firstLink; k < end; ++k) {
    mix(static_cast<std::uint32_t>(file.links[k].bone), bits(file.links[k].weight));
  }
  // A last avalanche, as the table below takes the low bits for its slot.
  hash ^= hash >> 33;
  hash *= 0xff51afd7ed558ccdull;
  hash ^= hash >> 33;
  return hash;
}

bool Finite(const float* values, int count) {
  for (int i = 0; i < count; ++i) {
    if (!std::isfinite(values[i])) return false;
  }
  return true;
}

// Gathers the tally from a file read back.
class Gatherer {
 public:
  explicit Gatherer(const File& file) : file_(file) {}

  Tally Run() {
    tally_.nodes = file_.nodes;
    tally_.materials = file_.materials;
    tally_.frames = file_.frames.size();
    tally_.triangles = file_.triangles.size();
    tally_.problems = file_.problems;
    Vertices();
    NonFinite();
    IncompleteFrames();
    return std::move(tally_);
  }

 private:
  // Unique vertices and their links, in one pass over the corners.
  void Vertices() {
    if (file_.triangles.empty()) return;
    HashSet seen(std::min<std::size_t>(file_.triangles.size(), std::size_t{1} << 20));
    std::vector<Link> scratch;
    for (const Triangle& triangle : file_.triangles) {
      for (int corner = 0; corner < 3; ++corner) {
        const Vertex& vertex = triangle.corners[corner];
        if (!seen.Insert(VertexHash(file_, vertex))) continue;
        const std::size_t end = std::min<std::size_t>(
            vertex.firstLink + std::size_t{vertex.linkCount}, file_.links.size());
        const std::size_t first = std::min<std::size_t>(vertex.firstLink, end);
        const float lost = WeightLost(file_.links.data() + first, end - first, &scratch);
        if (lost < 0) continue;
        ++tally_.overLinked;
        if (lost > tally_.worstLoss || tally_.worstLine == 0) {
          tally_.worstLoss = std::max(tally_.worstLoss, lost);
          tally_.worstLine = triangle.line + 1 + corner;
        }
      }
    }
    tally_.uniqueVertices = seen.Count();
  }

  void NonFinite() {
    std::size_t& count = tally_.nonFiniteLines;
    for (const Frame& frame : file_.frames) {
      for (std::uint32_t i = 0; i < frame.poseCount; ++i) {
        const Pose& pose = file_.poses[frame.firstPose + i];
        if (Finite(pose.position, 3) && Finite(pose.rotation, 3)) continue;
        if (count++ == 0) {
          tally_.nonFiniteNode = pose.node;
          tally_.nonFiniteTime = frame.time;
          tally_.nonFiniteLine = frame.line + 1 + static_cast<int>(i);
        }
      }
    }
    for (const Triangle& triangle : file_.triangles) {
      for (int corner = 0; corner < 3; ++corner) {
        const Vertex& vertex = triangle.corners[corner];
        bool finite =
            Finite(vertex.position, 3) && Finite(vertex.normal, 3) && Finite(vertex.uv, 2);
        for (std::uint32_t k = 0; finite && k < vertex.linkCount; ++k) {
          finite = std::isfinite(file_.links[vertex.firstLink + k].weight);
        }
        if (finite) continue;
        if (count++ == 0) tally_.nonFiniteLine = triangle.line + 1 + corner;
      }
    }
  }

  void IncompleteFrames() {
    const std::size_t nodeCount = file_.nodes.size();
    if (nodeCount == 0) return;
    std::vector<std::uint32_t> seenIn(nodeCount, 0);
    for (std::size_t f = 0; f < file_.frames.size(); ++f) {
      const Frame& frame = file_.frames[f];
      const auto stamp = static_cast<std::uint32_t>(f + 1);
      std::size_t present = 0;
      for (std::uint32_t i = 0; i < frame.poseCount; ++i) {
        const int node = file_.poses[frame.firstPose + i].node;
        if (seenIn[node] != stamp) {
          seenIn[node] = stamp;
          ++present;
        }
      }
      if (present == nodeCount) continue;
      if (tally_.incompleteFrames++ == 0) {
        std::size_t missing = 0;
        while (seenIn[missing] == stamp) ++missing;
        tally_.incompleteTime = frame.time;
        tally_.incompleteLine = frame.line;
        tally_.missingNode = static_cast<int>(missing);
        tally_.missingMore = nodeCount - present - 1;
      }
    }
  }

  const File& file_;
  Tally tally_;
};

class Reporter {
 public:
  explicit Reporter(const Tally& tally) : tally_(tally) {}

  std::vector<Finding> Run() {
    Nodes();
    Vertices();
    Materials();
    RepeatedNames();
    NonFinite();
    Unparsed();
    IncompleteFrames();
    std::stable_sort(findings_.begin(), findings_.end(), [](const Finding& a, const Finding& b) {
      return static_cast<int>(a.limit) < static_cast<int>(b.limit);
    });
    return std::move(findings_);
  }

 private:
  void Add(Limit limit, std::string message) { findings_.push_back({limit, std::move(message)}); }

  void Nodes() {
    const int limit = Figure(Limit::kNodes);
    if (tally_.nodes.size() > static_cast<std::size_t>(limit)) {
      Add(Limit::kNodes,
          FormatText("%zu nodes, more than the %d the compiler takes", tally_.nodes.size(), limit));
    }
  }

  void Vertices() {
    const std::size_t overLinked = tally_.overLinked;
    if (overLinked > 0) {
      Add(Limit::kLinks,
          FormatText("%zu %s more than %d links of weight %.2f or more; keeping the %d largest "
                     "loses up to %.1f%% of a vertex's weight (line %d)",
                     overLinked, overLinked == 1 ? "vertex has" : "vertices have", kMaxLinks,
                     kLinkWeightFloor, kMaxLinks, tally_.worstLoss * 100, tally_.worstLine));
    }
    const int limit = Figure(Limit::kUniqueVertices);
    if (tally_.uniqueVertices > static_cast<std::size_t>(limit)) {
      Add(Limit::kUniqueVertices,
          FormatText("%zu unique vertices, more than the %d the compiler takes in one model",
                     tally_.uniqueVertices, limit));
    }
  }

  void Materials() {
    const int limit = Figure(Limit::kMaterials);
    if (tally_.materials.size() > static_cast<std::size_t>(limit)) {
      Add(Limit::kMaterials, FormatText("%zu materials, more than the %d the compiler takes",
                                        tally_.materials.size(), limit));
    }
    const std::size_t longest = static_cast<std::size_t>(LimitOf(Limit::kMaterialName).figure);
    for (const std::string& name : tally_.materials) {
      if (name.size() > longest) {
        Add(Limit::kMaterialName,
            FormatText("material %s is %zu bytes long; the compiler takes at most %zu",
                       Quoted(name).c_str(), name.size(), longest));
      }
      if (name.find_first_of(" \t\v\f") != std::string::npos) {
        Add(Limit::kMaterialName,
            FormatText("material %s has whitespace, where the compiler ends the name",
                       Quoted(name).c_str()));
      }
    }
  }

  void RepeatedNames() {
    std::unordered_map<std::string, int> first;
    std::unordered_map<std::string, int> reported;
    for (const Node& node : tally_.nodes) {
      if (node.line == 0) continue;  // its line was lost, and is reported as such
      auto [at, added] = first.emplace(node.name, node.index);
      if (added || !reported.emplace(node.name, 0).second) continue;
      Add(Limit::kRepeatedName,
          FormatText("node name %s is used by nodes %d and %d (line %d)", Quoted(node.name).c_str(),
                     at->second, node.index, node.line));
    }
  }

  void NonFinite() {
    const std::size_t count = tally_.nonFiniteLines;
    if (count == 0) return;
    const std::string first =
        tally_.nonFiniteNode >= 0
            ? FormatText("in the pose of node %d at time %d (line %d)", tally_.nonFiniteNode,
                         tally_.nonFiniteTime, tally_.nonFiniteLine)
            : FormatText("on line %d", tally_.nonFiniteLine);
    Add(Limit::kNonFinite,
        FormatText("%zu %s with numbers that are infinite or not a number, the first %s", count,
                   count == 1 ? "line" : "lines", first.c_str()));
  }

  void Unparsed() {
    for (const LineProblem& problem : tally_.problems) {
      Add(Limit::kUnparsedLine,
          problem.line > 0 ? FormatText("line %d: %s", problem.line, problem.message.c_str())
                           : problem.message);
    }
  }

  void IncompleteFrames() {
    const std::size_t incomplete = tally_.incompleteFrames;
    if (incomplete == 0) return;
    std::string first =
        FormatText("time %d (line %d) has no pose for node %s", tally_.incompleteTime,
                   tally_.incompleteLine, Quoted(tally_.nodes[tally_.missingNode].name).c_str());
    if (tally_.missingMore > 0) first += FormatText(" and %zu more", tally_.missingMore);
    Add(Limit::kIncompleteFrame,
        FormatText("%zu %s out nodes; %s", incomplete,
                   incomplete == 1 ? "frame leaves" : "frames leave", first.c_str()));
  }

  const Tally& tally_;
  std::vector<Finding> findings_;
};

}  // namespace

Tally TallyOf(const File& file) { return Gatherer(file).Run(); }

std::vector<Finding> Findings(const Tally& tally) { return Reporter(tally).Run(); }

float WeightLost(const Link* in, std::size_t count, std::vector<Link>* scratch) {
  if (count <= static_cast<std::size_t>(kMaxLinks)) return -1;
  // Loops by hand, on the stack for the usual few links: this runs for
  // every unique vertex of a big reference.
  Link few[16];
  Link* links = few;
  if (count > sizeof few / sizeof few[0]) {
    scratch->resize(count);
    links = scratch->data();
  }
  std::size_t size = 0;
  for (std::size_t k = 0; k < count; ++k) {
    // Two links to one bone are one influence.
    std::size_t same = 0;
    while (same < size && links[same].bone != in[k].bone) ++same;
    if (same < size)
      links[same].weight += in[k].weight;
    else
      links[size++] = in[k];
  }
  std::size_t kept = 0;
  for (std::size_t k = 0; k < size; ++k) {
    if (links[k].weight >= kLinkWeightFloor) links[kept++] = links[k];
  }
  if (kept <= static_cast<std::size_t>(kMaxLinks)) return -1;
  // Largest first; links of equal weight may change places without changing
  // any sum below.
  for (std::size_t i = 1; i < kept; ++i) {
    const Link link = links[i];
    std::size_t j = i;
    for (; j > 0 && links[j - 1].weight < link.weight; --j) links[j] = links[j - 1];
    links[j] = link;
  }
  float total = 0, lost = 0;
  for (std::size_t k = 0; k < kept; ++k) {
    total += links[k].weight;
    if (k >= static_cast<std::size_t>(kMaxLinks)) lost += links[k].weight;
  }
  return total > 0 ? lost / total : 0;
}

}  // namespace kw::smd
