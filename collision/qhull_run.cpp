#include "collision/qhull_run.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

extern "C" {
#include <libqhull_r/qhull_ra.h>
}

namespace kw::collision {

namespace {

// qhull's messages, kept to hand back the first line of an error.
class MessageBuffer {
 public:
  MessageBuffer() : file_(open_memstream(&text_, &size_)) {}
  ~MessageBuffer() {
    if (file_) std::fclose(file_);
    std::free(text_);
  }
  MessageBuffer(const MessageBuffer&) = delete;
  MessageBuffer& operator=(const MessageBuffer&) = delete;

  FILE* File() const { return file_; }
  std::string FirstLine() {
    if (!file_) return "";
    std::fflush(file_);
    std::string line = text_ ? std::string(text_, size_) : std::string();
    const std::size_t end = line.find('\n');
    if (end != std::string::npos) line.resize(end);
    return line;
  }

 private:
  char* text_ = nullptr;
  std::size_t size_ = 0;
  FILE* file_;
};

// qhull's state, freed however the run ended.
class QhullState {
 public:
  explicit QhullState(FILE* errors) { qh_zero(&qh_, errors); }
  ~QhullState() {
    qh_freeqhull(&qh_, !qh_ALL);
    int stillLong = 0;
    int totalLong = 0;
    qh_memfreeshort(&qh_, &stillLong, &totalLong);
  }
  QhullState(const QhullState&) = delete;
  QhullState& operator=(const QhullState&) = delete;

  qhT* Get() { return &qh_; }

 private:
  qhT qh_;
};

}  // namespace

bool RunQhull(const std::vector<double>& xyz, int maxVertices, QhullFacets* facets,
              std::string* error) {
  facets->triangles.clear();
  facets->planes.clear();
  const std::size_t count = xyz.size() / 3;
  if (count < 4 || count > static_cast<std::size_t>(INT_MAX)) {
    *error = "qhull needs between 4 and 2^31 points";
    return false;
  }
  MessageBuffer messages;
  // Q9 with TA keeps the greedy order: always the point farthest outside.
  // Qt splits merged faces into triangles.
  std::string command = "qhull Qt";
  if (maxVertices >= 4) command += " Q9 TA" + std::to_string(maxVertices - 4);
  QhullState state(messages.File());
  qhT* qh = state.Get();
  // qhull reads the points in place and never writes them.
  const int status = qh_new_qhull(qh, 3, static_cast<int>(count), const_cast<coordT*>(xyz.data()),
                                  False, command.data(), nullptr, messages.File());
  if (status != 0) {
    *error = messages.FirstLine();
    if (error->empty()) *error = "qhull failed with status " + std::to_string(status);
    return false;
  }
  facetT* facet;
  FORALLfacets {
    if (qh_setsize(qh, facet->vertices) != 3) continue;  // Qt leaves none
    int ids[3];
    const coordT* corner[3];
    for (int k = 0; k < 3; ++k) {
      const vertexT* vertex = static_cast<vertexT*>(facet->vertices->e[k].p);
      ids[k] = qh_pointid(qh, vertex->point);
      corner[k] = vertex->point;
    }
    double edge1[3];
    double edge2[3];
    for (int a = 0; a < 3; ++a) {
      edge1[a] = corner[1][a] - corner[0][a];
      edge2[a] = corner[2][a] - corner[0][a];
    }
    const double cross[3] = {edge1[1] * edge2[2] - edge1[2] * edge2[1],
                             edge1[2] * edge2[0] - edge1[0] * edge2[2],
                             edge1[0] * edge2[1] - edge1[1] * edge2[0]};
    const double facing =
        cross[0] * facet->normal[0] + cross[1] * facet->normal[1] + cross[2] * facet->normal[2];
    if (facing == 0) continue;  // a triangle of no area
    if (facing < 0) std::swap(ids[1], ids[2]);
    facets->triangles.push_back({ids[0], ids[1], ids[2]});
    facets->planes.push_back({facet->normal[0], facet->normal[1], facet->normal[2], facet->offset});
  }
  if (facets->triangles.size() < 4) {
    *error = "qhull gave no closed hull";
    return false;
  }
  return true;
}

}  // namespace kw::collision
