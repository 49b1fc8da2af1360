// The one line every export ends with: what was written, its counts and the
// model's size in the compiler's units, with a hint when that size is
// implausible for a model (the compiler's unit is an inch).
#pragma once

#include <string>
#include <vector>

#include "readers/model_import/source_unit.h"
#include "scene/memory_scene.h"

namespace kw {

// A longest side outside these bounds is taken for a model in the wrong unit.
constexpr double kSmallestPlausible = 4.0;
constexpr double kLargestPlausible = 20000.0;

struct SceneMeasure {
  int nodes = 0;       // exported
  long triangles = 0;  // of exported meshes with a material
  int materials = 0;   // texture names, as the reference writes them
  // Extent along x, y, z of the triangles at frame 0, or, without triangles,
  // of the exported nodes.
  double extent[3] = {0, 0, 0};
  // A sequence names its frames instead of triangles and materials.
  bool sequence = false;
  int firstFrame = 0;
  int lastFrame = 0;

  double Longest() const;
  double Height() const { return extent[2]; }  // the SMD is Z-up
};

SceneMeasure Measure(MemoryScene& scene, bool selectedOnly);

// Every texture name the meshes' materials give the reference, in node order,
// each once: the file part of the map's name, or null.bmp.
std::vector<std::string> TextureNames(MemoryScene& scene);

// "WRITTEN: N nodes, T triangles, M materials; L units on its longest side,
// H tall" (a sequence: "N nodes, frames A to B; ..."), then the unit it was converted from, or a
// hint naming the option that fixes an implausible size. modelFile: the options for units apply.
std::string SummaryLine(const std::string& written, const SceneMeasure& measure,
                        const SourceUnit& unit, bool modelFile);

// Prints the line on stdout, or on stderr when stdout holds the SMD; a line
// that cannot be written is said on stderr, the files being in place already.
void PrintSummary(const std::string& line, bool toStderr);

}  // namespace kw
