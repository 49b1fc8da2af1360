#include "smd/vta_check.h"

#include <algorithm>
#include <cmath>

namespace kw::smd {
namespace {

bool Finite(const ShapeVertex& v) {
  for (int i = 0; i < 3; ++i)
    if (!std::isfinite(v.position[i]) || !std::isfinite(v.normal[i])) return false;
  return true;
}

std::string TimesText(const std::vector<int>& times) {
  std::string text;
  const std::size_t shown = std::min<std::size_t>(times.size(), 8);
  for (std::size_t i = 0; i < shown; ++i) text += (i ? " " : "") + std::to_string(times[i]);
  if (times.size() > shown) text += " ...";
  return text.empty() ? "none" : text;
}

}  // namespace

std::vector<VtaFinding> CheckVta(const File& file, std::size_t referenceVertices) {
  std::vector<VtaFinding> findings;
  if (!file.hasVertexAnimation) {
    findings.push_back({WarningKind::kIrregularShapeTime, "no vertexanimation section"});
    return findings;
  }

  // Vertex numbers: never negative, and within the reference when it is known.
  std::size_t badCount = 0, nonFinite = 0;
  int badLine = 0, badNumber = 0, nonFiniteLine = 0;
  for (const ShapeVertex& v : file.shapeVertices) {
    if (v.number < 0 || (referenceVertices != kUnknownVertexCount &&
                         static_cast<std::size_t>(v.number) >= referenceVertices)) {
      if (badCount++ == 0) {
        badLine = v.line;
        badNumber = v.number;
      }
    }
    if (!Finite(v) && nonFinite++ == 0) nonFiniteLine = v.line;
  }
  if (badCount > 0) {
    std::string limit = referenceVertices == kUnknownVertexCount
                            ? "a vertex number is never negative"
                            : "the reference has vertices 0 to " +
                                  std::to_string(static_cast<long long>(referenceVertices) - 1);
    findings.push_back({WarningKind::kBadVertexNumber,
                        std::to_string(badCount) + " vertex lines name a vertex not there (" +
                            limit + "); the first, line " + std::to_string(badLine) + ", names " +
                            std::to_string(badNumber)});
  }
  if (nonFinite > 0) {
    findings.push_back({WarningKind::kNonFiniteNumber,
                        std::to_string(nonFinite) +
                            " vertex animation lines hold a number that is not finite; the first "
                            "is line " +
                            std::to_string(nonFiniteLine)});
  }

  // Times: 0, 1, 2, ... in the file's order.
  std::size_t breaks = 0;
  int breakLine = 0, breakBefore = 0, breakAt = 0;
  for (std::size_t i = 0; i < file.shapeFrames.size(); ++i) {
    const int expected = i == 0 ? 0 : file.shapeFrames[i - 1].time + 1;
    if (file.shapeFrames[i].time != expected && breaks++ == 0) {
      breakLine = file.shapeFrames[i].line;
      breakBefore = i == 0 ? -1 : file.shapeFrames[i - 1].time;
      breakAt = file.shapeFrames[i].time;
    }
  }
  if (breaks > 0) {
    findings.push_back(
        {WarningKind::kIrregularShapeTime,
         std::to_string(breaks) +
             " vertex animation frames do not follow the one before (0, 1, 2, ...); the first, "
             "line " +
             std::to_string(breakLine) + ", is time " + std::to_string(breakAt) +
             (breakBefore < 0 ? " where time 0 comes first"
                              : " after time " + std::to_string(breakBefore))});
  }

  // Every vertex a shape moves must be one of time 0's, which the compiler
  // matches to the reference.
  const ShapeFrame* base = nullptr;
  for (const ShapeFrame& frame : file.shapeFrames) {
    if (frame.time == 0) {
      base = &frame;
      break;
    }
  }
  std::vector<int> baseNumbers;
  if (base) {
    baseNumbers.reserve(base->vertexCount);
    for (std::uint32_t i = 0; i < base->vertexCount; ++i)
      baseNumbers.push_back(file.shapeVertices[base->firstVertex + i].number);
    std::sort(baseNumbers.begin(), baseNumbers.end());
  }
  std::size_t missing = 0;
  int missingLine = 0, missingNumber = 0, missingTime = 0;
  for (const ShapeFrame& frame : file.shapeFrames) {
    if (&frame == base) continue;
    for (std::uint32_t i = 0; i < frame.vertexCount; ++i) {
      const ShapeVertex& v = file.shapeVertices[frame.firstVertex + i];
      if (std::binary_search(baseNumbers.begin(), baseNumbers.end(), v.number)) continue;
      if (missing++ == 0) {
        missingLine = v.line;
        missingNumber = v.number;
        missingTime = frame.time;
      }
    }
  }
  if (missing > 0) {
    findings.push_back({WarningKind::kVertexNotInBase,
                        std::to_string(missing) +
                            " shape vertex lines name a vertex that time 0 does not list; the "
                            "first, line " +
                            std::to_string(missingLine) + " (time " + std::to_string(missingTime) +
                            "), names " + std::to_string(missingNumber)});
  }

  // The skeleton gives one frame per shape, with the same times.
  std::vector<int> skeletonTimes, shapeTimes;
  for (const Frame& frame : file.frames) skeletonTimes.push_back(frame.time);
  for (const ShapeFrame& frame : file.shapeFrames) shapeTimes.push_back(frame.time);
  if (skeletonTimes != shapeTimes) {
    findings.push_back({WarningKind::kShapeTimesMismatch,
                        "the skeleton's times (" + TimesText(skeletonTimes) +
                            ") are not the vertex animation's (" + TimesText(shapeTimes) + ")"});
  }
  return findings;
}

std::vector<CornerPosition> ShapedCorners(const File& reference, const File& vta,
                                          std::size_t shape) {
  std::vector<CornerPosition> corners;
  corners.reserve(reference.triangles.size() * 3);
  for (const Triangle& triangle : reference.triangles) {
    for (const Vertex& vertex : triangle.corners) {
      corners.push_back({{vertex.position[0], vertex.position[1], vertex.position[2]}});
    }
  }
  if (shape >= vta.shapeFrames.size()) return corners;
  const ShapeFrame& frame = vta.shapeFrames[shape];
  for (std::uint32_t i = 0; i < frame.vertexCount; ++i) {
    const ShapeVertex& v = vta.shapeVertices[frame.firstVertex + i];
    if (v.number < 0 || static_cast<std::size_t>(v.number) >= corners.size()) continue;
    std::copy(v.position, v.position + 3, corners[static_cast<std::size_t>(v.number)].position);
  }
  return corners;
}

}  // namespace kw::smd
