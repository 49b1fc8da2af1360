#include "bench/hostile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

namespace kw::bench {
namespace {

using Writer = std::function<void(std::FILE*)>;

bool Write(const std::string& path, const Writer& write, std::string* error) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "w"), &std::fclose);
  if (!file) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  write(file.get());
  if (std::ferror(file.get()) || std::fflush(file.get()) != 0) {
    *error = path + ": cannot write";
    return false;
  }
  return true;
}

void OneRoot(std::FILE* f) {
  std::fputs("version 1\nnodes\n0 \"root\" -1\nend\nskeleton\ntime 0\n0 0 0 0 0 0 0\nend\n", f);
}

// A nodes section that skips every other index, up to 400,000: each gap is a
// lost line the reader must keep the place of.
void SkippingNodes(std::FILE* f) {
  std::fputs("version 1\nnodes\n", f);
  for (int i = 0; i <= 400000; i += 2) std::fprintf(f, "%d \"n%d\" -1\n", i, i);
  std::fputs("end\nskeleton\ntime 0\n0 0 0 0 0 0 0\nend\n", f);
}

// One vertex with 500,000 links, each to a bone of its own.
void ManyLinks(std::FILE* f) {
  constexpr int kLinks = 500000;
  std::fputs("version 1\nnodes\n", f);
  for (int i = 0; i < kLinks; ++i) std::fprintf(f, "%d \"b%d\" -1\n", i, i);
  std::fputs("end\nskeleton\ntime 0\n0 0 0 0 0 0 0\nend\ntriangles\nskin\n0 0 0 0 0 0 1 0 0", f);
  std::fprintf(f, " %d", kLinks);
  for (int i = 0; i < kLinks; ++i) std::fprintf(f, " %d 0.000002", i);
  std::fputs("\n0 1 0 0 0 0 1 0 0\n0 0 1 0 0 0 1 0 0\nend\n", f);
}

// Two nodes 1e17 out along x, a thousandth apart across it: the grid's steps
// are far below a double's resolution there.
void FarAndThin(std::FILE* f) {
  std::fputs(
      "version 1\nnodes\n0 \"a\" -1\n1 \"b\" 0\nend\nskeleton\ntime 0\n"
      "0 100000000000000000.0 0 0 0 0 0\n1 0 0.001 0 0 0 0\nend\n",
      f);
}

void LongMaterialName(std::FILE* f) {
  OneRoot(f);
  std::fputs("triangles\n", f);
  for (int i = 0; i < 100000; ++i) std::fputc('m', f);
  std::fputs("\n0 0 0 0 0 0 1 0 0\n0 1 0 0 0 0 1 0 0\n0 0 0 1 0 0 1 0 0\nend\n", f);
}

// A chain of 300,000 nodes, each a little turned from its parent.
void LongChain(std::FILE* f) {
  constexpr int kNodes = 300000;
  std::fputs("version 1\nnodes\n", f);
  for (int i = 0; i < kNodes; ++i) std::fprintf(f, "%d \"c%d\" %d\n", i, i, i - 1);
  std::fputs("end\nskeleton\ntime 0\n", f);
  for (int i = 0; i < kNodes; ++i) std::fprintf(f, "%d 0.1 0.2 0.05 0.01 0.02 0.03\n", i);
  std::fputs("end\n", f);
}

// 20,000 triangles, each as big as the views, one just behind the other.
void OverlappingTriangles(std::FILE* f) {
  OneRoot(f);
  std::fputs("triangles\n", f);
  for (int i = 0; i < 20000; ++i) {
    const double y = i * 0.0001;
    std::fprintf(f, "mat\n0 -1 %f -1 0 0 1 0 0\n0 1 %f -1 0 0 1 0 0\n0 0 %f 1 0 0 1 0 0\n", y, y,
                 y + 0.5);
  }
  std::fputs("end\n", f);
}

}  // namespace

bool WriteHostileInputs(const std::string& dir, std::vector<HostileRun>* runs, std::string* error) {
  struct Input {
    const char* file;
    Writer write;
  };
  const Input inputs[] = {
      {"gaps.smd", SkippingNodes}, {"links.smd", ManyLinks},
      {"far.smd", FarAndThin},     {"legend.smd", LongMaterialName},
      {"chain.smd", LongChain},    {"overlap.smd", OverlappingTriangles},
  };
  for (const Input& input : inputs) {
    if (!Write(dir + "/" + input.file, input.write, error)) return false;
  }
  const std::string fifo = dir + "/fifo.smd";
  std::remove(fifo.c_str());
  if (::mkfifo(fifo.c_str(), 0600) != 0) {
    *error = fifo + ": " + std::strerror(errno);
    return false;
  }
  *runs = {
      {"check, nodes skipping every other index",
       "400,000 indices, 200,001 lines",
       {"check", "gaps.smd"},
       10,
       "gaps.smd"},
      {"check, a vertex of 500,000 links",
       "500,000 nodes, one link to each",
       {"check", "links.smd"},
       10,
       "links.smd"},
      {"preview, a vertex of 500,000 links",
       "as above",
       {"preview", "links.smd", "-o", "out.png"},
       10,
       "links.smd"},
      {"preview, far out and thin",
       "two nodes at x = 1e17, 0.001 apart",
       {"preview", "far.smd", "-o", "out.png"},
       10,
       "far.smd"},
      {"preview, a long material name",
       "100,000 bytes",
       {"preview", "legend.smd", "-o", "out.png"},
       10,
       "legend.smd"},
      {"preview, a 300,000-node chain",
       "300,000 nodes and poses",
       {"preview", "chain.smd", "-o", "out.png"},
       10,
       "chain.smd"},
      {"preview, overlapping triangles",
       "20,000 triangles as big as the views",
       {"preview", "overlap.smd", "-o", "out.png"},
       10,
       "overlap.smd"},
      {"preview, overlapping triangles, 8192 x 8192",
       "as above",
       {"preview", "overlap.smd", "-o", "out.png", "--size", "8192x8192"},
       30,
       "overlap.smd"},
      {"check, a FIFO", "no writer", {"check", "fifo.smd"}, 5, "fifo.smd"},
      {"preview, a FIFO", "no writer", {"preview", "fifo.smd", "-o", "out.png"}, 5, "fifo.smd"},
  };
  return true;
}

}  // namespace kw::bench
