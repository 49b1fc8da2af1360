// A reference export and its vertex animation file of one scene, in memory,
// and the lines tests compare between them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "export/flex_export.h"
#include "support/export_harness.h"

namespace kw::test {

struct FlexRun {
  ExportResult reference;
  kw::ExportOutcome outcome = kw::ExportOutcome::kFailed;
  std::string vta;
  kw::FlexList list;
  std::vector<std::string> warnings;  // of the VTA's export
};

inline FlexRun RunFlexExport(kw::SceneHost& scene) {
  FlexRun run;
  run.reference = RunExport(scene);
  MemoryFiles files;
  RecordingWarnings warnings;
  kw::ExportReports reports;
  reports.warnings = &warnings;
  run.outcome =
      kw::ExportFlexes(scene, kw::ExportOptions(), "out.vta", files, reports, &run.list).outcome;
  run.vta = files.Text("out.vta");
  run.warnings = warnings.messages;
  return run;
}

inline std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// The position and normal fields of every vertex line of a reference's
// triangles, as written.
inline std::vector<std::string> ReferenceCornerFields(const std::string& smd) {
  std::vector<std::string> fields;
  std::istringstream in(smd.substr(smd.find("\ntriangles\n") + 11));
  std::string line;
  for (int k = 0; std::getline(in, line) && line != "end"; ++k) {
    if (k % 4 == 0) continue;  // the texture line
    const std::vector<std::string> words = Words(line);
    std::string text;
    for (std::size_t w = 1; w <= 6 && w < words.size(); ++w) text += " " + words[w];
    fields.push_back(text);
  }
  return fields;
}

struct VtaLine {
  std::uint64_t number = 0;
  std::string fields;  // " x y z nx ny nz" as written
  float values[6] = {};
};

// The frames of a VTA's vertexanimation section, time 0 first.
inline std::vector<std::vector<VtaLine>> VtaFrames(const std::string& vta) {
  std::vector<std::vector<VtaLine>> frames;
  const std::size_t start = vta.find("\nvertexanimation\n");
  if (start == std::string::npos) return frames;
  std::istringstream in(vta.substr(start + 17));
  std::string line;
  while (std::getline(in, line) && line != "end") {
    if (line.rfind("time ", 0) == 0) {
      EXPECT_EQ(line, "time " + std::to_string(frames.size()));
      frames.emplace_back();
      continue;
    }
    const std::vector<std::string> words = Words(line);
    if (frames.empty() || words.size() != 7) {
      ADD_FAILURE() << "not a vertex line: " << line;
      continue;
    }
    VtaLine parsed;
    parsed.number = std::strtoull(words[0].c_str(), nullptr, 10);
    for (int k = 0; k < 6; ++k) {
      parsed.fields += " " + words[static_cast<std::size_t>(k) + 1];
      parsed.values[k] = std::strtof(words[static_cast<std::size_t>(k) + 1].c_str(), nullptr);
    }
    frames.back().push_back(parsed);
  }
  return frames;
}

}  // namespace kw::test
