#include "smd/stream_check.h"

#include <cmath>
#include <cstring>
#include <unordered_map>
#include <utility>
#include <vector>

#include "smd/hash_set.h"

namespace kw::smd {
namespace {

// A line longer than this is none of ours.
constexpr std::size_t kLongestLine = std::size_t{1} << 20;
// Vertex hashes seen lately, one per slot: a vertex recurs within a few
// thousand lines in a mesh written strip by strip, and this table stays in
// the cache where the whole set does not.
constexpr std::size_t kRecentSlots = std::size_t{1} << 14;
// Link texts seen, with the weight the compiler loses of them, one per slot.
constexpr std::size_t kKnownLinkSlots = std::size_t{1} << 12;
// Lines split and hashed ahead of judging them: enough for the fetches of
// their table slots to overlap.
constexpr std::size_t kRunLines = 32;

struct KnownLinks {
  std::uint64_t hash = 0;  // of the links' text; 0 for none
  float lost = -1;
  bool none = false;   // no links: the vertex's own bone is the one it uses
  bool bogus = false;  // a link names a bone the file does not have,
  int bogusBone = 0;   // the first such
};

bool IsDigit(char c) { return static_cast<unsigned>(c - '0') < 10; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool StartsWith(std::string_view text, std::string_view head) {
  return text.size() >= head.size() && text.compare(0, head.size(), head) == 0;
}

// What the reader takes for a keyword line: the word alone, or with a comment.
bool IsKeyword(std::string_view line, std::string_view word) {
  if (!StartsWith(line, word)) return false;
  const std::string_view rest = Trim(line.substr(word.size()));
  return rest.empty() || StartsWith(rest, "//");
}

std::uint64_t Load64(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

std::uint64_t Fold(std::uint64_t a, std::uint64_t b) {
  __extension__ typedef unsigned __int128 Wide;
  const Wide product = static_cast<Wide>(a) * b;
  return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

// 64 bits of a line's bytes, sixteen at a time. A vertex is known by the hash
// of its line: for the lines CanonicalVertex takes, two lines are the same
// text exactly when the reader makes the same bits of them (see there).
std::uint64_t LineHash(const char* p, std::size_t size) {
  constexpr std::uint64_t k0 = 0x9e3779b97f4a7c15ull, k1 = 0xd6e8feb86659fd93ull,
                          k2 = 0xa0761d6478bd642full, k3 = 0xe7037ed1a0b428dbull;
  std::uint64_t hash = Fold(size ^ k0, k3);
  if (size >= 16) {
    const char* last = p + size - 16;
    for (; p < last; p += 16) hash = Fold(Load64(p) ^ k1 ^ hash, Load64(p + 8) ^ k2);
    hash = Fold(Load64(last) ^ k1 ^ hash, Load64(last + 8) ^ k2);
  } else {
    std::uint64_t a = 0, b = 0;
    std::memcpy(&a, p, size < 8 ? size : 8);
    if (size > 8) std::memcpy(&b, p + 8, size - 8);
    hash = Fold(a ^ k1 ^ hash, b ^ k2);
  }
  hash = Fold(hash ^ k0, k3);
  return hash != 0 ? hash : 1;  // 0 marks an empty slot
}

// Small enough to be inlined where the reading of one line runs.
#define KW_INLINE inline __attribute__((always_inline))

// A whole number as "%d" writes it: '-' or no sign, no leading zero, no "-0",
// and at most 9 digits, so that the reader takes it in as an int.
KW_INLINE bool CanonicalInt(const char*& p, const char* end, int* value) {
  const char* q = p;
  const bool negative = q < end && *q == '-';
  q += negative;
  const char* first = q;
  std::uint32_t v = 0;  // wraps harmlessly past 9 digits, which are refused
  while (q < end && IsDigit(*q)) v = v * 10 + static_cast<std::uint32_t>(*q++ - '0');
  const std::ptrdiff_t digits = q - first;
  if (digits == 0 || digits > 9 || (digits > 1 && *first == '0') || (negative && v == 0)) {
    return false;
  }
  *value = negative ? -static_cast<int>(v) : static_cast<int>(v);
  p = q;
  return true;
}

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the first byte is the lowest");

// The eight bytes at q begin with '.' and six digits.
KW_INLINE bool PointAndSixDigits(const char* q) {
  const std::uint64_t x = Load64(q) ^ 0x3030303030303030ull;  // a digit's byte becomes 0..9
  const std::uint64_t six = x & 0x00ffffffffffff00ull;
  // A byte below 10 stays below 0x80 with 0x76 added, and adds nothing to
  // the next; any other byte has its top bit set in one of the two.
  return (x & 0xff) == ('.' ^ '0') &&
         ((six | (six + 0x0076767676767600ull)) & 0x0080808080808000ull) == 0;
}

// A number as "%f" writes a float: '-' or no sign, 1 to 7 digits before the
// point without a leading zero, 6 after it, and exactly the text printf writes
// for the float the reader makes of it (its ShortDecimal: the digits over 1e6
// in a double, narrowed). Every such text t is printf's text of that float,
// so two different texts never read as the same bits:
// - below 8 it always is: floats there lie at most 2^-21 apart, so the
//   nearest float is within 2.4e-7 of t, and printf's rounding to six places
//   gives t back;
// - from 8 on it is tested: with N the digits as an integer and w the float,
//   w * 1e6 is exact in a double (24 + 14 bits), and printf gives t back
//   when w * 1e6 - N is less than a half, or exactly a half with N even
//   (printf rounds exact halves to even).
// Our writer writes printf's text of a float, so it always passes.
// *value, when asked for, gets the reader's float. It may read the byte at
// end, which every line here has: its line end, or a string's closing zero.
KW_INLINE bool CanonicalFloat(const char*& p, const char* end, float* value) {
  const char* q = p;
  const bool negative = q < end && *q == '-';
  q += negative;
  const char* first = q;
  while (q < end && IsDigit(*q)) ++q;
  const std::ptrdiff_t integerDigits = q - first;
  if (integerDigits == 0 || integerDigits > 7 || (integerDigits > 1 && *first == '0') ||
      end - q < 7 || !PointAndSixDigits(q)) {
    return false;
  }
  const bool belowEight = integerDigits == 1 && *first < '8';
  if (!belowEight || value) {
    std::uint64_t digits = 0;
    for (const char* d = first; d < q; ++d) digits = digits * 10 + static_cast<unsigned>(*d - '0');
    for (int i = 1; i <= 6; ++i) digits = digits * 10 + static_cast<unsigned>(q[i] - '0');
    const float magnitude = static_cast<float>(static_cast<double>(digits) / 1e6);
    if (!belowEight) {
      const double off =
          std::fabs(static_cast<double>(magnitude) * 1e6 - static_cast<double>(digits));
      if (!(off < 0.5 || (off == 0.5 && digits % 2 == 0))) return false;
    }
    if (value) *value = negative ? -magnitude : magnitude;
  }
  p = q + 7;
  return true;
}

// CanonicalFloat without the value, eight bytes at a time for the common
// "d.dddddd" below 8, with or without its '-'.
KW_INLINE bool CanonicalFloatText(const char*& p, const char* end) {
  const char* q = p + (p < end && *p == '-');
  if (end - q >= 8) {
    const std::uint64_t x = Load64(q) ^ 0x3030303030303030ull;
    const std::uint64_t digits = x & 0xffffffffffff00ffull;  // all but the point
    if (((x >> 8) & 0xff) == ('.' ^ '0') && (x & 0xff) < 8 &&
        ((digits | (digits + 0x7676767676760076ull)) & 0x8080808080800080ull) == 0) {
      p = q + 8;
      return true;
    }
  }
  return CanonicalFloat(p, end, nullptr);
}

// A vertex line exactly as our writer writes it: the bone as "%3d", eight
// numbers as " %f", the link count as " %d" and each link as " %d %f".
// Every token is then the one text of its value, and the layout is fixed, so
// the line's text and the values the reader makes of it (bone, the bits of
// every float, the count, the links) determine each other: two such lines
// are one vertex to the read-back check exactly when they are the same text.
// This takes the line up to its links and returns where they begin, or null;
// *bone gets the vertex's own bone.
const char* CanonicalCorner(const char* p, const char* end, int* bone) {
  const char* start = p;
  while (p < end && *p == ' ') ++p;
  const std::ptrdiff_t pad = p - start;
  const char* boneText = p;
  if (!CanonicalInt(p, end, bone)) return nullptr;
  const std::ptrdiff_t width = p - boneText;
  if (pad != (width < 3 ? 3 - width : 0)) return nullptr;
  for (int i = 0; i < 8; ++i) {
    if (p == end || *p++ != ' ' || !CanonicalFloatText(p, end)) return nullptr;
  }
  return p;
}

// The rest of a vertex line: its links into *links.
bool CanonicalLinks(const char* p, const char* end, std::vector<Link>* links) {
  int count = 0;
  if (p == end || *p++ != ' ' || !CanonicalInt(p, end, &count) || count < 0) return false;
  links->clear();
  for (int k = 0; k < count; ++k) {
    Link link;
    if (p == end || *p++ != ' ' || !CanonicalInt(p, end, &link.bone)) return false;
    if (p == end || *p++ != ' ' || !CanonicalFloat(p, end, &link.weight)) return false;
    links->push_back(link);
  }
  return p == end;
}

// A number the reader takes in as a finite float: no exponent, and fewer
// digits before the point than the largest float has.
bool PlainDecimal(const char*& p, const char* end) {
  const char* q = p;
  if (q < end && *q == '-') ++q;
  const char* first = q;
  while (q < end && IsDigit(*q)) ++q;
  if (q == first || q - first > 38) return false;
  if (q < end && *q == '.') {
    const char* fraction = ++q;
    while (q < end && IsDigit(*q)) ++q;
    if (q == fraction || q - fraction > 30) return false;
  }
  p = q;
  return true;
}

bool Spaces(const char*& p, const char* end) {
  const char* q = p;
  while (p < end && *p == ' ') ++p;
  return p != q;
}

enum class Part { kVersion, kTop, kNodes, kSkeleton, kTriangles };

}  // namespace

class StreamCheck::Impl {
 public:
  Impl() : recent_(kRecentSlots, 0), knownLinks_(kKnownLinkSlots) {}

  void Feed(const char* data, std::size_t size) {
    if (!declined_.empty()) return;
    const char* p = data;
    const char* end = data + size;
    if (!carry_.empty()) {
      const char* newline = static_cast<const char*>(std::memchr(p, '\n', size));
      if (!newline) {
        if (carry_.size() + size > kLongestLine) return Decline("a line too long");
        carry_.append(p, size);
        return;
      }
      carry_.append(p, static_cast<std::size_t>(newline - p));
      Line(carry_.data(), carry_.size(), 0);
      carry_.clear();
      p = newline + 1;
    }
    // A run of whole lines at a time: in the triangles the vertex lines'
    // hashes come first, and the table slots they will look at are fetched
    // while the lines before them are judged.
    while (p < end && declined_.empty()) {
      std::size_t lines = 0;
      const char* next = p;
      while (lines < kRunLines) {
        const char* newline =
            static_cast<const char*>(std::memchr(next, '\n', static_cast<std::size_t>(end - next)));
        if (!newline) break;
        run_[lines++] = RunLine{next, static_cast<std::size_t>(newline - next), 0};
        next = newline + 1;
      }
      if (lines == 0) break;
      if (part_ == Part::kTriangles) FetchAhead(lines);
      for (std::size_t i = 0; i < lines && declined_.empty(); ++i) {
        Line(run_[i].text, run_[i].size, run_[i].hash);
      }
      p = next;
    }
    if (p < end && declined_.empty()) {
      if (static_cast<std::size_t>(end - p) > kLongestLine) return Decline("a line too long");
      carry_.assign(p, static_cast<std::size_t>(end - p));
    }
  }

  bool Finish(Tally* tally) {
    if (declined_.empty()) {
      ++line_;
      if (!carry_.empty()) {
        Decline("the text does not end with a line end");
      } else if (part_ != Part::kTop || !sawNodes_) {
        Decline("the text ends before its sections do");
      }
    }
    if (!declined_.empty()) return false;
    tally_.uniqueVertices = seen_.Count();
    *tally = std::move(tally_);
    return true;
  }

  const std::string& Declined() const { return declined_; }

 private:
  void Decline(const char* why) {
    declined_ = "line " + std::to_string(line_) + ": " + why;
    carry_.clear();
    carry_.shrink_to_fit();
  }

  // A line whose vertex hash, when it is a vertex line, is hash (0 for not
  // yet worked out).
  void Line(const char* p, std::size_t size, std::uint64_t hash) {
    ++line_;
    const std::string_view line(p, size);
    switch (part_) {
      case Part::kTriangles:
        return TriangleLine(p, size, hash);
      case Part::kSkeleton:
        if (line == "end") {
          CloseFrame();
          part_ = Part::kTop;
          return;
        }
        return SkeletonLine(p, p + size);
      case Part::kNodes:
        if (line == "end") {
          part_ = Part::kTop;
          return;
        }
        return NodeLine(p, p + size);
      case Part::kVersion:
        if (line != "version 1") return Decline("not our version line");
        part_ = Part::kTop;
        return;
      case Part::kTop:
        return TopLine(line);
    }
  }

  // Sections in our writer's order, each once.
  void TopLine(std::string_view line) {
    if (line == "nodes" && stage_ == 0) {
      part_ = Part::kNodes;
      sawNodes_ = true;
    } else if (line == "skeleton" && stage_ == 1) {
      part_ = Part::kSkeleton;
    } else if (line == "triangles" && stage_ == 2) {
      part_ = Part::kTriangles;
      tally_.reference = true;
    } else {
      return Decline("not a section in our writer's order");
    }
    ++stage_;
  }

  // index "name" parent, where the name runs to the line's last quote as the
  // reader takes it.
  void NodeLine(const char* p, const char* end) {
    Node node;
    Spaces(p, end);
    if (!CanonicalInt(p, end, &node.index) || node.index != static_cast<int>(tally_.nodes.size()) ||
        end - p < 2 || *p++ != ' ' || *p++ != '"') {
      return Decline("not a node line as we write it");
    }
    const char* close = end;
    while (close > p && close[-1] != '"') --close;
    if (close == p) return Decline("not a node line as we write it");
    --close;
    node.name.assign(p, close);
    p = close + 1;
    if (!Spaces(p, end) || !CanonicalInt(p, end, &node.parent) || p != end) {
      return Decline("not a node line as we write it");
    }
    node.line = line_;
    seenIn_.push_back(0);
    tally_.usedNodes.push_back(0);
    tally_.nodes.push_back(std::move(node));
  }

  void SkeletonLine(const char* p, const char* end) {
    if (end - p >= 4 && std::memcmp(p, "time", 4) == 0) {
      p += 4;
      int time = 0;
      if (!Spaces(p, end) || !CanonicalInt(p, end, &time) || p != end) {
        return Decline("not a time line as we write it");
      }
      CloseFrame();
      if (tally_.frames > 0 && static_cast<long long>(time) != frameTime_ + 1LL &&
          tally_.timeBreaks++ == 0) {
        tally_.timeBreakLine = line_;
        tally_.timeBefore = frameTime_;
        tally_.timeAfter = time;
      }
      ++tally_.frames;
      ++stamp_;
      inFrame_ = true;
      present_ = 0;
      frameTime_ = time;
      frameLine_ = line_;
      return;
    }
    int node = 0;
    Spaces(p, end);
    if (!inFrame_ || !CanonicalInt(p, end, &node) || node < 0 ||
        node >= static_cast<int>(tally_.nodes.size())) {
      return Decline("not a pose line as we write it");
    }
    for (int i = 0; i < 6; ++i) {
      if (!Spaces(p, end) || !PlainDecimal(p, end))
        return Decline("not a pose line as we write it");
    }
    if (p != end) return Decline("not a pose line as we write it");
    if (seenIn_[node] != stamp_) {
      seenIn_[node] = stamp_;
      ++present_;
    }
  }

  void CloseFrame() {
    const std::size_t nodeCount = tally_.nodes.size();
    if (!inFrame_ || nodeCount == 0 || present_ == nodeCount) return;
    if (tally_.incompleteFrames++ == 0) {
      std::size_t missing = 0;
      while (seenIn_[missing] == stamp_) ++missing;
      tally_.incompleteTime = frameTime_;
      tally_.incompleteLine = frameLine_;
      tally_.missingNode = static_cast<int>(missing);
      tally_.missingMore = nodeCount - present_ - 1;
    }
  }

  // The hashes of the run's vertex lines, following the corners as
  // TriangleLine will, and their slots fetched.
  void FetchAhead(std::size_t lines) {
    int corner = corner_;
    for (std::size_t i = 0; i < lines; ++i) {
      RunLine& line = run_[i];
      if (corner == 0) {
        if (line.size == 3 && std::memcmp(line.text, "end", 3) == 0) return;
        corner = 1;
        continue;
      }
      line.hash = LineHash(line.text, line.size);
      __builtin_prefetch(&recent_[line.hash & (kRecentSlots - 1)]);
      seen_.Prefetch(line.hash);
      corner = corner == 3 ? 0 : corner + 1;
    }
  }

  void TriangleLine(const char* p, std::size_t size, std::uint64_t knownHash) {
    if (corner_ == 0) {
      ++corner_;
      if (size == lastMaterial_.size() && std::memcmp(p, lastMaterial_.data(), size) == 0) {
        ++tally_.triangles;
        return;
      }
      if (size == 3 && std::memcmp(p, "end", 3) == 0) {
        corner_ = 0;
        part_ = Part::kTop;
        return;
      }
      ++tally_.triangles;
      return Material(std::string_view(p, size));
    }
    if (++corner_ == 4) corner_ = 0;
    const std::uint64_t hash = knownHash != 0 ? knownHash : LineHash(p, size);
    std::uint64_t& recent = recent_[hash & (kRecentSlots - 1)];
    if (recent == hash) return;
    recent = hash;
    if (!seen_.Insert(hash)) return;
    const char* end = p + size;
    int bone = 0;
    const char* linkText = CanonicalCorner(p, end, &bone);
    if (!linkText) return Decline("not a vertex line as we write it");
    // Vertices of one weighting share their links' text, and what the
    // compiler makes of them.
    const std::uint64_t linkHash = LineHash(linkText, static_cast<std::size_t>(end - linkText));
    KnownLinks& known = knownLinks_[linkHash & (kKnownLinkSlots - 1)];
    if (known.hash != linkHash) {
      if (!CanonicalLinks(linkText, end, &links_))
        return Decline("not a vertex line as we write it");
      known.hash = linkHash;
      known.lost = WeightLost(links_.data(), links_.size(), &kept_);
      known.none = links_.empty();
      known.bogus = false;
      for (const Link& link : links_) {
        if (!InFile(link.bone)) {
          known.bogus = true;
          known.bogusBone = link.bone;
          break;
        }
      }
      // Marks are for good: a vertex sharing this text later uses the same bones.
      for (const Link& link : kept_) Use(link.bone);
    }
    if (known.none) Use(bone);
    if ((!InFile(bone) || known.bogus) && tally_.bogusVertices++ == 0) {
      tally_.bogusLine = line_;
      tally_.bogusBone = InFile(bone) ? known.bogusBone : bone;
    }
    const float lost = known.lost;
    if (lost < 0) return;
    ++tally_.overLinked;
    if (lost > tally_.worstLoss || tally_.worstLine == 0) {
      tally_.worstLoss = std::max(tally_.worstLoss, lost);
      tally_.worstLine = line_;
    }
  }

  bool InFile(int bone) const {
    return bone >= 0 && static_cast<std::size_t>(bone) < tally_.usedNodes.size();
  }
  void Use(int bone) {
    if (InFile(bone)) tally_.usedNodes[static_cast<std::size_t>(bone)] = 1;
  }

  // The material as the reader names it: the line trimmed, without a comment.
  void Material(std::string_view line) {
    std::string_view name = Trim(line);
    if (name.empty() || StartsWith(name, "//") || IsKeyword(name, "end")) {
      return Decline("not a material line as we write it");
    }
    const std::size_t comment = name.find("//");
    if (comment != std::string_view::npos) name = Trim(name.substr(0, comment));
    auto found = materialIndex_.find(std::string(name));
    if (found == materialIndex_.end()) {
      materialIndex_.emplace(std::string(name), tally_.materials.size());
      tally_.materials.emplace_back(name);
    }
    lastMaterial_.assign(line.data(), line.size());
  }

  Tally tally_;
  std::string declined_;
  std::string carry_;
  int line_ = 0;
  Part part_ = Part::kVersion;
  int stage_ = 0;
  bool sawNodes_ = false;

  // The frame being read: which nodes it has posed (seenIn_[node] == stamp_).
  std::vector<std::uint32_t> seenIn_;
  std::uint32_t stamp_ = 0;
  bool inFrame_ = false;
  std::size_t present_ = 0;
  int frameTime_ = 0;
  int frameLine_ = 0;

  struct RunLine {
    const char* text;
    std::size_t size;
    std::uint64_t hash;  // a vertex line's, or 0
  };
  RunLine run_[kRunLines];

  int corner_ = 0;                   // 0: a material line comes next; 1..3: that vertex line
  std::string lastMaterial_ = "\n";  // the last material line as written; never a line
  std::unordered_map<std::string, std::size_t> materialIndex_;
  HashSet seen_;
  std::vector<std::uint64_t> recent_;
  std::vector<KnownLinks> knownLinks_;
  std::vector<Link> links_;
  std::vector<Link> kept_;
};

StreamCheck::StreamCheck() : impl_(new Impl) {}
StreamCheck::~StreamCheck() = default;
void StreamCheck::Feed(const char* data, std::size_t size) { impl_->Feed(data, size); }
bool StreamCheck::Finish(Tally* tally) { return impl_->Finish(tally); }
const std::string& StreamCheck::Declined() const { return impl_->Declined(); }

}  // namespace kw::smd
