#include "smd/smd_reader.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <unordered_map>
#include <utility>

#include "smd/printable_text.h"

namespace kw::smd {
namespace {

// Lines that do not parse are kept up to this many, with their numbers; the
// rest are only counted, so a large file of garbage stays small.
constexpr std::size_t kKeptProblems = 100;
// A line is read whole up to this length.
constexpr std::size_t kLongestLine = std::size_t{64} << 20;
// Indices beyond this are taken for damage rather than for nodes left out.
constexpr int kMaxNodeIndex = 1 << 20;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size() && IsSpace(text[begin])) ++begin;
  std::size_t end = text.size();
  while (end > begin && IsSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool StartsWith(std::string_view text, std::string_view head) {
  return text.size() >= head.size() && text.compare(0, head.size(), head) == 0;
}

// A keyword line: the word alone, or followed by a comment.
bool IsKeyword(std::string_view line, std::string_view word) {
  if (!StartsWith(line, word)) return false;
  std::string_view rest = Trim(line.substr(word.size()));
  return rest.empty() || StartsWith(rest, "//");
}

// Reads the numbers of one line from left to right.
class Cursor {
 public:
  explicit Cursor(std::string_view line) : p_(line.data()), end_(line.data() + line.size()) {}

  bool Int(int* value) {
    Skip();
    const char* from = p_;
    if (from < end_ && *from == '+') ++from;
    auto [next, ec] = std::from_chars(from, end_, *value);
    if (ec != std::errc() || !AtBoundary(next)) return false;
    p_ = next;
    return true;
  }

  bool Float(float* value) {
    Skip();
    if (ShortDecimal(value)) return true;
    const char* from = p_;
    if (from < end_ && *from == '+' && from + 1 < end_ && from[1] != '-') ++from;
    auto [next, ec] = std::from_chars(from, end_, *value);
    if (ec == std::errc::result_out_of_range) {
      // Beyond float: infinite, or so small it is as good as 0.
      double wide = 0;
      auto wideResult = std::from_chars(from, end_, wide);
      if (wideResult.ec == std::errc()) {
        *value = static_cast<float>(wide);
        ec = std::errc();
      }
    }
    if (ec == std::errc() && AtBoundary(next)) {
      p_ = next;
      return true;
    }
    return MsvcSpecial(from, value);
  }

  // The rest of the line is empty or a comment.
  bool AtEnd() {
    Skip();
    return p_ == end_ || (end_ - p_ >= 2 && p_[0] == '/' && p_[1] == '/');
  }

  // A name between double quotes, or else one word. The name runs to the
  // line's last quote: names written as they are may hold quotes themselves.
  bool Name(std::string_view* name) {
    Skip();
    if (p_ == end_) return false;
    if (*p_ == '"') {
      const char* close = end_ - 1;
      while (close > p_ && *close != '"') --close;
      if (close == p_) return false;
      *name = std::string_view(p_ + 1, close - p_ - 1);
      p_ = close + 1;
      return true;
    }
    const char* from = p_;
    while (p_ < end_ && !IsSpace(*p_)) ++p_;
    *name = std::string_view(from, p_ - from);
    return true;
  }

 private:
  void Skip() {
    while (p_ < end_ && IsSpace(*p_)) ++p_;
  }
  bool AtBoundary(const char* next) const { return next == end_ || IsSpace(*next); }

  // "%f" text with at most 7 digits before the point, 8 after it and 15 in all:
  // its digits are exact in a double, and one division rounds them correctly.
  // The double is never so close to halfway between two floats that narrowing
  // it could round otherwise than the decimal itself would (the decimal lies at
  // least 2^-24 ulp / 10^8 from any halfway point, far beyond half a double ulp),
  // so this gives from_chars' bits, in a fraction of its time.
  bool ShortDecimal(float* value) {
    static constexpr double kPowers[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    const char* p = p_;
    const bool negative = p < end_ && *p == '-';
    if (negative) ++p;
    std::uint64_t digits = 0;
    const char* integerStart = p;
    while (p < end_ && static_cast<unsigned>(*p - '0') < 10) digits = digits * 10 + (*p++ - '0');
    const std::ptrdiff_t integerDigits = p - integerStart;
    std::ptrdiff_t fractionDigits = 0;
    if (p < end_ && *p == '.') {
      const char* fractionStart = ++p;
      while (p < end_ && static_cast<unsigned>(*p - '0') < 10) {
        digits = digits * 10 + (*p++ - '0');
      }
      fractionDigits = p - fractionStart;
    }
    if (integerDigits + fractionDigits == 0 || integerDigits > 7 || fractionDigits > 8 ||
        integerDigits + fractionDigits > 15 || !AtBoundary(p)) {
      return false;
    }
    const float magnitude =
        static_cast<float>(static_cast<double>(digits) / kPowers[fractionDigits]);
    *value = negative ? -magnitude : magnitude;
    p_ = p;
    return true;
  }

  // Another runtime's printf writes "1.#QNAN0", "-1.#IND00" or "1.#INF00".
  bool MsvcSpecial(const char* from, float* value) {
    const char* word = from;
    while (word < end_ && !IsSpace(*word)) ++word;
    std::string_view token(from, word - from);
    const std::size_t hash = token.find(".#");
    if (hash == std::string_view::npos) return false;
    const bool negative = !token.empty() && token[0] == '-';
    if (token.compare(hash + 2, 3, "INF") == 0) {
      *value = negative ? -std::numeric_limits<float>::infinity()
                        : std::numeric_limits<float>::infinity();
    } else {
      *value = std::numeric_limits<float>::quiet_NaN();
    }
    p_ = word;
    return true;
  }

  const char* p_;
  const char* end_;
};

enum class Section { kTop, kNodes, kSkeleton, kTriangles, kVertexAnimation };

class Parser {
 public:
  explicit Parser(File* file) : file_(file) {}

  void Line(std::string_view raw, int number) {
    // Editors on another system may begin the file with a UTF-8 byte-order mark.
    if (number == 1 && StartsWith(raw, "\xEF\xBB\xBF")) raw.remove_prefix(3);
    std::string_view line = Trim(raw);
    if (line.empty() || StartsWith(line, "//")) return;
    if (!sawVersion_) {
      if (!IsVersion(line)) {
        failure_ = "not an SMD file (it does not begin with a \"version\" line)";
        stopped_ = true;
      }
      return;
    }
    switch (section_) {
      case Section::kTop:
        TopLine(line, number);
        break;
      case Section::kNodes:
        if (IsKeyword(line, "end"))
          section_ = Section::kTop;
        else
          NodeLine(line, number);
        break;
      case Section::kSkeleton:
        if (IsKeyword(line, "end"))
          section_ = Section::kTop;
        else
          SkeletonLine(line, number);
        break;
      case Section::kTriangles:
        TriangleLine(line, number);
        break;
      case Section::kVertexAnimation:
        if (IsKeyword(line, "end"))
          section_ = Section::kTop;
        else
          ShapeLine(line, number);
        break;
    }
  }

  // Once the first line shows the text is no SMD there is no point reading on.
  bool Stopped() const { return stopped_; }

  bool Finish(const std::string& name, std::string* error) {
    if (!stopped_ && !sawVersion_) failure_ = "not an SMD file (there is nothing in it)";
    if (failure_.empty() && !sawNodes_) {
      failure_ = "not an SMD file (it has no \"nodes\" section)";
    }
    if (!failure_.empty()) {
      if (error) *error = name + ": " + failure_;
      return false;
    }
    if (section_ == Section::kTriangles && corner_ > 0) {
      Problem(lastLine_, "the file ends inside a triangle");
    } else if (section_ != Section::kTop) {
      Problem(lastLine_, "the file ends before the section's \"end\"");
    }
    if (file_->problemCount > file_->problems.size()) {
      file_->problems.push_back(
          {0, "and " + std::to_string(file_->problemCount - file_->problems.size()) +
                  " more lines that do not parse"});
    }
    return true;
  }

  void NoteLastLine(int number) { lastLine_ = number; }

 private:
  bool IsVersion(std::string_view line) {
    if (!StartsWith(line, "version")) return false;
    Cursor cursor(line.substr(7));
    if (!cursor.Int(&file_->version) || !cursor.AtEnd()) return false;
    sawVersion_ = true;
    return true;
  }

  void Problem(int line, std::string message) {
    ++file_->problemCount;
    if (file_->problems.size() < kKeptProblems) {
      file_->problems.push_back({line, std::move(message)});
    }
  }

  void TopLine(std::string_view line, int number) {
    if (IsKeyword(line, "nodes")) {
      section_ = Section::kNodes;
      sawNodes_ = true;
    } else if (IsKeyword(line, "skeleton")) {
      section_ = Section::kSkeleton;
    } else if (IsKeyword(line, "triangles")) {
      section_ = Section::kTriangles;
      file_->hasTriangles = true;
    } else if (IsKeyword(line, "vertexanimation")) {
      section_ = Section::kVertexAnimation;
      file_->hasVertexAnimation = true;
    } else if (StartsWith(line, "version")) {
      Problem(number, "a second \"version\" line");
    } else {
      Problem(number, "\"" + PrintableText(line, 40) + "\" is not a section of an SMD");
    }
  }

  void NodeLine(std::string_view line, int number) {
    Cursor cursor(line);
    Node node;
    std::string_view name;
    if (!cursor.Int(&node.index) || !cursor.Name(&name) || !cursor.Int(&node.parent) ||
        !cursor.AtEnd()) {
      Problem(number, "a node line is not: index \"name\" parent");
      return;
    }
    if (node.index != static_cast<int>(file_->nodes.size())) {
      Problem(number, "node " + std::to_string(node.index) + " where node " +
                          std::to_string(file_->nodes.size()) + " comes next");
      if (node.index < static_cast<int>(file_->nodes.size()) || node.index > kMaxNodeIndex) {
        return;
      }
      // Lines were lost: the nodes they held stay in their places, nameless,
      // so that every later index still means its node. Only the new places
      // are numbered, so a gap costs its own size.
      const int before = static_cast<int>(file_->nodes.size());
      file_->nodes.resize(node.index);
      for (int i = before; i < node.index; ++i) file_->nodes[i].index = i;
    }
    node.name.assign(name);
    node.line = number;
    file_->nodes.push_back(std::move(node));
  }

  void SkeletonLine(std::string_view line, int number) {
    if (StartsWith(line, "time")) {
      Cursor cursor(line.substr(4));
      Frame frame;
      if (!cursor.Int(&frame.time) || !cursor.AtEnd()) {
        Problem(number, "a \"time\" line without its number");
        return;
      }
      frame.line = number;
      frame.firstPose = static_cast<std::uint32_t>(file_->poses.size());
      file_->frames.push_back(frame);
      return;
    }
    Cursor cursor(line);
    Pose pose;
    if (!cursor.Int(&pose.node) || !cursor.Float(&pose.position[0]) ||
        !cursor.Float(&pose.position[1]) || !cursor.Float(&pose.position[2]) ||
        !cursor.Float(&pose.rotation[0]) || !cursor.Float(&pose.rotation[1]) ||
        !cursor.Float(&pose.rotation[2]) || !cursor.AtEnd()) {
      Problem(number, "a pose line is not: node x y z rx ry rz");
      return;
    }
    if (file_->frames.empty()) {
      Problem(number, "a pose line before the first \"time\" line");
      return;
    }
    if (pose.node < 0 || pose.node >= static_cast<int>(file_->nodes.size())) {
      Problem(number, "a pose of node " + std::to_string(pose.node) +
                          ", which the nodes section does not have");
      return;
    }
    file_->poses.push_back(pose);
    ++file_->frames.back().poseCount;
  }

  void ShapeLine(std::string_view line, int number) {
    if (StartsWith(line, "time")) {
      Cursor cursor(line.substr(4));
      ShapeFrame frame;
      if (!cursor.Int(&frame.time) || !cursor.AtEnd()) {
        Problem(number, "a \"time\" line without its number");
        return;
      }
      frame.line = number;
      frame.firstVertex = static_cast<std::uint32_t>(file_->shapeVertices.size());
      file_->shapeFrames.push_back(frame);
      return;
    }
    Cursor cursor(line);
    ShapeVertex vertex;
    vertex.line = number;
    if (!cursor.Int(&vertex.number) || !cursor.Float(&vertex.position[0]) ||
        !cursor.Float(&vertex.position[1]) || !cursor.Float(&vertex.position[2]) ||
        !cursor.Float(&vertex.normal[0]) || !cursor.Float(&vertex.normal[1]) ||
        !cursor.Float(&vertex.normal[2]) || !cursor.AtEnd()) {
      Problem(number, "a vertex animation line is not: number x y z nx ny nz");
      return;
    }
    if (file_->shapeFrames.empty()) {
      Problem(number, "a vertex animation line before the first \"time\" line");
      return;
    }
    file_->shapeVertices.push_back(vertex);
    ++file_->shapeFrames.back().vertexCount;
  }

  void TriangleLine(std::string_view line, int number) {
    if (corner_ == 0) {
      if (IsKeyword(line, "end")) {
        section_ = Section::kTop;
        return;
      }
      StartTriangle(line, number);
      return;
    }
    if (IsKeyword(line, "end")) {
      Problem(number, "the section ends inside a triangle");
      corner_ = 0;
      section_ = Section::kTop;
      return;
    }
    Vertex& vertex = triangle_.corners[corner_ - 1];
    const std::size_t linksBefore = file_->links.size();
    if (ReadVertex(line, &vertex)) {
      if (++corner_ == 4) {
        if (triangleGood_)
          file_->triangles.push_back(triangle_);
        else
          file_->links.resize(firstLinkOfTriangle_);
        corner_ = 0;
      }
      return;
    }
    file_->links.resize(linksBefore);
    const char first = line[0];
    const bool numeric =
        (first >= '0' && first <= '9') || first == '-' || first == '+' || first == '.';
    if (!numeric) {
      // Lines are missing: take this one as the next triangle's texture name.
      Problem(number, "a triangle with only " + std::to_string(corner_ - 1) + " vertex lines");
      file_->links.resize(firstLinkOfTriangle_);
      StartTriangle(line, number);
      return;
    }
    Problem(number, "a vertex line is not: bone x y z nx ny nz u v [links bone weight ...]");
    triangleGood_ = false;
    if (++corner_ == 4) {
      file_->links.resize(firstLinkOfTriangle_);
      corner_ = 0;
    }
  }

  void StartTriangle(std::string_view line, int number) {
    std::string_view name = line;
    const std::size_t comment = name.find("//");
    if (comment != std::string_view::npos) name = Trim(name.substr(0, comment));
    triangle_.material = MaterialIndex(name);
    triangle_.line = number;
    corner_ = 1;
    triangleGood_ = true;
    firstLinkOfTriangle_ = file_->links.size();
  }

  std::uint32_t MaterialIndex(std::string_view name) {
    if (haveLastMaterial_ && name == file_->materials[lastMaterial_]) return lastMaterial_;
    std::string key(name);
    auto found = materialIndex_.find(key);
    if (found == materialIndex_.end()) {
      const auto index = static_cast<std::uint32_t>(file_->materials.size());
      file_->materials.push_back(key);
      found = materialIndex_.emplace(std::move(key), index).first;
    }
    lastMaterial_ = found->second;
    haveLastMaterial_ = true;
    return lastMaterial_;
  }

  bool ReadVertex(std::string_view line, Vertex* vertex) {
    Cursor cursor(line);
    if (!cursor.Int(&vertex->bone) || !cursor.Float(&vertex->position[0]) ||
        !cursor.Float(&vertex->position[1]) || !cursor.Float(&vertex->position[2]) ||
        !cursor.Float(&vertex->normal[0]) || !cursor.Float(&vertex->normal[1]) ||
        !cursor.Float(&vertex->normal[2]) || !cursor.Float(&vertex->uv[0]) ||
        !cursor.Float(&vertex->uv[1])) {
      return false;
    }
    vertex->firstLink = static_cast<std::uint32_t>(file_->links.size());
    vertex->linkCount = 0;
    if (cursor.AtEnd()) return true;
    int count = 0;
    if (!cursor.Int(&count) || count < 0) return false;
    for (int k = 0; k < count; ++k) {
      Link link;
      if (!cursor.Int(&link.bone) || !cursor.Float(&link.weight)) return false;
      file_->links.push_back(link);
    }
    vertex->linkCount = static_cast<std::uint32_t>(count);
    return cursor.AtEnd();
  }

  File* file_;
  Section section_ = Section::kTop;
  bool sawVersion_ = false;
  bool sawNodes_ = false;
  bool stopped_ = false;
  std::string failure_;
  int lastLine_ = 0;

  Triangle triangle_;
  int corner_ = 0;  // 0: a texture name comes next; 1..3: that vertex line
  bool triangleGood_ = true;
  std::size_t firstLinkOfTriangle_ = 0;

  std::unordered_map<std::string, std::uint32_t> materialIndex_;
  std::uint32_t lastMaterial_ = 0;
  bool haveLastMaterial_ = false;
};

// Feeds the complete lines of text to the parser; returns how much of text
// was used (everything up to the last line end).
std::size_t FeedLines(Parser& parser, std::string_view text, int* lineNumber) {
  std::size_t used = 0;
  while (used < text.size() && !parser.Stopped()) {
    const char* begin = text.data() + used;
    const void* newline = std::memchr(begin, '\n', text.size() - used);
    if (!newline) break;
    const std::size_t length = static_cast<const char*>(newline) - begin;
    parser.Line(std::string_view(begin, length), ++*lineNumber);
    used += length + 1;
  }
  return used;
}

void Reset(File* file) { *file = File(); }

}  // namespace

bool ParseSmd(std::string_view text, const std::string& name, File* file, std::string* error) {
  Reset(file);
  Parser parser(file);
  int lineNumber = 0;
  const std::size_t used = FeedLines(parser, text, &lineNumber);
  if (used < text.size() && !parser.Stopped()) parser.Line(text.substr(used), ++lineNumber);
  parser.NoteLastLine(lineNumber);
  return parser.Finish(name, error);
}

bool ReadSmd(const std::string& path, File* file, std::string* error) {
  Reset(file);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
  if (!stream) {
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
  }
  // Room for what a file of this size usually holds; pages never touched cost
  // nothing. Only a regular file has a size that means anything.
  struct stat status {};
  if (::fstat(::fileno(stream.get()), &status) == 0 && S_ISREG(status.st_mode) &&
      status.st_size > 0) {
    const auto size = static_cast<std::size_t>(status.st_size);
    file->triangles.reserve(size / 240);
    file->links.reserve(size / 20);
  }

  Parser parser(file);
  int lineNumber = 0;
  std::string buffer(std::size_t(4) << 20, '\0');
  std::size_t filled = 0;
  for (;;) {
    if (filled == buffer.size()) {
      if (buffer.size() < kLongestLine) {
        buffer.resize(buffer.size() * 2);
      } else {
        // Longer than any SMD line: damage, or no text at all (a device of
        // zeros). It is taken as it stands, and the rest of it as more lines.
        parser.Line(std::string_view(buffer.data(), filled), ++lineNumber);
        filled = 0;
        if (parser.Stopped()) break;
      }
    }
    const std::size_t got = std::fread(&buffer[filled], 1, buffer.size() - filled, stream.get());
    if (got == 0) {
      if (std::ferror(stream.get())) {
        if (error) *error = path + ": " + std::strerror(errno);
        Reset(file);
        return false;
      }
      break;
    }
    filled += got;
    const std::size_t used =
        FeedLines(parser, std::string_view(buffer.data(), filled), &lineNumber);
    if (parser.Stopped()) break;
    std::memmove(&buffer[0], buffer.data() + used, filled - used);
    filled -= used;
  }
  if (filled > 0 && !parser.Stopped()) {
    parser.Line(std::string_view(buffer.data(), filled), ++lineNumber);
  }
  parser.NoteLastLine(lineNumber);
  if (!parser.Finish(path, error)) {
    Reset(file);
    return false;
  }
  return true;
}

}  // namespace kw::smd
