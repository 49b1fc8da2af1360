#include "smd/limit_check.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "smd/hash_set.h"
#include "smd/printable_text.h"
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
    {Limit::kBogusBone, WarningKind::kBogusBoneIndex, 0,
     "the compiler stops at a vertex or node naming a bone the nodes section does not have "
     "(\"bogus bone index\")"},
    {Limit::kFrameTimes, WarningKind::kIrregularTime, 0,
     "the compiler files each pose under its time number: a time that goes back replaces a "
     "frame, a skipped time leaves a frame without a pose of its own"},
};
const std::size_t kLimitCount = sizeof kLimits / sizeof kLimits[0];

const LimitRow& LimitOf(Limit limit) { return kLimits[static_cast<std::size_t>(limit)]; }

namespace {

// Names may hold anything; a message stays one line, short, and inert on a
// terminal.
std::string Quoted(const std::string& name) { return "\"" + PrintableText(name, 80) + "\""; }

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
    tally_.reference = file_.hasTriangles;
    tally_.usedNodes.assign(file_.nodes.size(), 0);
    tally_.materials = file_.materials;
    tally_.frames = file_.frames.size();
    tally_.triangles = file_.triangles.size();
    tally_.problems = file_.problems;
    Vertices();
    NonFinite();
    IncompleteFrames();
    FrameTimes();
    return std::move(tally_);
  }

 private:
  // Unique vertices, their links and the bones they use, in one pass over
  // the corners.
  void Vertices() {
    if (file_.triangles.empty()) return;
    HashSet seen(std::min<std::size_t>(file_.triangles.size(), std::size_t{1} << 20));
    std::vector<Link> kept;
    for (const Triangle& triangle : file_.triangles) {
      for (int corner = 0; corner < 3; ++corner) {
        const Vertex& vertex = triangle.corners[corner];
        if (!seen.Insert(VertexHash(file_, vertex))) continue;
        const int line = triangle.line + 1 + corner;
        const std::size_t end = std::min<std::size_t>(
            vertex.firstLink + std::size_t{vertex.linkCount}, file_.links.size());
        const std::size_t first = std::min<std::size_t>(vertex.firstLink, end);
        const Link* links = file_.links.data() + first;
        const float lost = WeightLost(links, end - first, &kept);
        int bogus = InFile(vertex.bone) ? -1 : vertex.bone;
        for (std::size_t k = 0; k < end - first && bogus == -1; ++k) {
          if (!InFile(links[k].bone)) bogus = links[k].bone;
        }
        if (bogus != -1 && tally_.bogusVertices++ == 0) {
          tally_.bogusLine = line;
          tally_.bogusBone = bogus;
        }
        if (vertex.linkCount == 0) Use(vertex.bone);
        for (const Link& link : kept) Use(link.bone);
        if (lost < 0) continue;
        ++tally_.overLinked;
        if (lost > tally_.worstLoss || tally_.worstLine == 0) {
          tally_.worstLoss = std::max(tally_.worstLoss, lost);
          tally_.worstLine = line;
        }
      }
    }
    tally_.uniqueVertices = seen.Count();
  }

  bool InFile(int bone) const {
    return bone >= 0 && static_cast<std::size_t>(bone) < tally_.usedNodes.size();
  }
  void Use(int bone) {
    if (InFile(bone)) tally_.usedNodes[static_cast<std::size_t>(bone)] = 1;
  }

  void FrameTimes() {
    for (std::size_t f = 1; f < file_.frames.size(); ++f) {
      const Frame& before = file_.frames[f - 1];
      const Frame& frame = file_.frames[f];
      if (static_cast<long long>(frame.time) == static_cast<long long>(before.time) + 1) continue;
      if (tally_.timeBreaks++ == 0) {
        tally_.timeBreakLine = frame.line;
        tally_.timeBefore = before.time;
        tally_.timeAfter = frame.time;
      }
    }
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
    BogusBones();
    FrameTimes();
    std::stable_sort(findings_.begin(), findings_.end(), [](const Finding& a, const Finding& b) {
      return static_cast<int>(a.limit) < static_cast<int>(b.limit);
    });
    return std::move(findings_);
  }

 private:
  void Add(Limit limit, std::string message) { findings_.push_back({limit, std::move(message)}); }

  void Nodes() {
    const std::size_t limit = static_cast<std::size_t>(Figure(Limit::kNodes));
    const std::size_t count = tally_.nodes.size();
    if (!tally_.reference) {
      if (count > limit) {
        Add(Limit::kNodes,
            FormatText("%zu nodes; the compiler takes %zu of those its reference's vertices use, "
                       "with their ancestors, which a sequence alone does not tell: check the "
                       "reference",
                       count, limit));
      }
      return;
    }
    const std::size_t used = NodesInUse(tally_);
    if (used > limit) {
      std::string text = FormatText(
          "%zu nodes in use (bound to vertices, or their ancestors), more than the %zu the "
          "compiler takes",
          used, limit);
      if (used < count)
        text += FormatText("; %zu more are unused, which it leaves out", count - used);
      Add(Limit::kNodes, text);
    }
  }

  void Vertices() {
    const std::size_t overLinked = tally_.overLinked;
    if (overLinked > 0) {
      Add(Limit::kLinks,
          FormatText("%zu %s more than %d links of weight %.2f or more; the compiler keeps the %d "
                     "largest, which loses up to %.1f%% of a vertex's weight (line %d); export "
                     "with --max-links %d to trim them yourself, or keep %d links a vertex in the "
                     "tool that wrote the file",
                     overLinked, overLinked == 1 ? "vertex has" : "vertices have", kMaxLinks,
                     kLinkWeightFloor, kMaxLinks, tally_.worstLoss * 100, tally_.worstLine,
                     kMaxLinks, kMaxLinks));
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

  void BogusBones() {
    const std::size_t vertices = tally_.bogusVertices;
    if (vertices > 0) {
      Add(Limit::kBogusBone,
          FormatText("%zu %s a bone the nodes section does not have, which the compiler refuses "
                     "(\"bogus bone index\"); the first, line %d, names bone %d",
                     vertices, vertices == 1 ? "vertex names" : "vertices name", tally_.bogusLine,
                     tally_.bogusBone));
    }
    const long long count = static_cast<long long>(tally_.nodes.size());
    std::size_t nodes = 0;
    const Node* first = nullptr;
    for (const Node& node : tally_.nodes) {
      if (node.parent >= -1 && node.parent < count) continue;
      if (nodes++ == 0) first = &node;
    }
    if (nodes > 0) {
      Add(Limit::kBogusBone,
          FormatText("%zu %s a parent the nodes section does not have, which the compiler "
                     "refuses (\"bogus bone index\"); the first, node %d %s (line %d), names %d",
                     nodes, nodes == 1 ? "node names" : "nodes name", first->index,
                     Quoted(first->name).c_str(), first->line, first->parent));
    }
  }

  void FrameTimes() {
    const std::size_t breaks = tally_.timeBreaks;
    if (breaks == 0) return;
    Add(Limit::kFrameTimes,
        FormatText("%zu %s back or %s a frame; the first, time %d after time %d (line %d)", breaks,
                   breaks == 1 ? "time goes" : "times go", breaks == 1 ? "skips" : "skip",
                   tally_.timeAfter, tally_.timeBefore, tally_.timeBreakLine));
  }

  const Tally& tally_;
  std::vector<Finding> findings_;
};

}  // namespace

Tally TallyOf(const File& file) { return Gatherer(file).Run(); }

std::size_t NodesInUse(const Tally& tally) {
  const std::size_t count = tally.nodes.size();
  std::vector<std::uint8_t> counted(count, 0);
  std::size_t used = 0;
  for (std::size_t i = 0; i < count && i < tally.usedNodes.size(); ++i) {
    if (!tally.usedNodes[i]) continue;
    // Up to the root or to a node already counted: each node once, and a
    // loop of parents ends where it closes.
    for (long long node = static_cast<long long>(i);
         node >= 0 && node < static_cast<long long>(count) && !counted[node];
         node = tally.nodes[node].parent) {
      counted[node] = 1;
      ++used;
    }
  }
  return used;
}

std::vector<Finding> Findings(const Tally& tally) { return Reporter(tally).Run(); }

float WeightLost(const Link* in, std::size_t count, std::vector<Link>* kept) {
  kept->clear();
  if (count == 0) return -1;
  // Each bone once, at the place of its first link, with the weights of its
  // links summed in the file's order.
  struct Merged {
    Link link;
    std::size_t place;
  };
  Merged few[16];
  std::vector<Merged> many;
  Merged* merged = few;
  std::size_t size = 0;
  double whole = 0;
  for (std::size_t k = 0; k < count; ++k) whole += in[k].weight;
  if (count <= sizeof few / sizeof few[0]) {
    for (std::size_t k = 0; k < count; ++k) {
      std::size_t same = 0;
      while (same < size && merged[same].link.bone != in[k].bone) ++same;
      if (same < size)
        merged[same].link.weight += in[k].weight;
      else
        merged[size++] = Merged{in[k], k};
    }
  } else {
    // Sorted by bone, so that merging costs n log n, not n^2.
    many.resize(count);
    for (std::size_t k = 0; k < count; ++k) many[k] = Merged{in[k], k};
    std::sort(many.begin(), many.end(), [](const Merged& a, const Merged& b) {
      return a.link.bone != b.link.bone ? a.link.bone < b.link.bone : a.place < b.place;
    });
    for (std::size_t k = 0; k < count; ++k) {
      if (size > 0 && many[size - 1].link.bone == many[k].link.bone)
        many[size - 1].link.weight += many[k].link.weight;
      else
        many[size++] = many[k];
    }
    merged = many.data();
  }
  // Largest first; among equal weights the bone the file names first.
  const auto larger = [](const Merged& a, const Merged& b) {
    return a.link.weight != b.link.weight ? a.link.weight > b.link.weight : a.place < b.place;
  };
  std::size_t reaching = 0;
  for (std::size_t k = 0; k < size; ++k) {
    if (merged[k].link.weight >= kLinkWeightFloor) merged[reaching++] = merged[k];
  }
  const std::size_t most = static_cast<std::size_t>(kMaxLinks);
  if (reaching == 0) {
    // Nothing reaches the floor (and nothing was moved): the largest stays.
    const Merged* largest = std::min_element(merged, merged + size, larger);
    kept->push_back(largest->link);
    return -1;
  }
  const std::size_t keep = std::min(reaching, most);
  std::partial_sort(merged, merged + keep, merged + reaching, larger);
  double keptWeight = 0;
  for (std::size_t k = 0; k < keep; ++k) {
    kept->push_back(merged[k].link);
    keptWeight += merged[k].link.weight;
  }
  if (reaching <= most) return -1;
  const double lost = whole > 0 ? 1 - keptWeight / whole : 0;
  return std::isfinite(lost) ? static_cast<float>(lost) : 0;
}

}  // namespace kw::smd
