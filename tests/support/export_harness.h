// Runs a whole export of a MemoryScene without touching the disk: the SMD and
// the log land in strings, every warning in a list.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "export/export_scene.h"
#include "scene/memory_scene.h"

namespace kw::test {

// The core's in-memory outputs, with the questions tests ask of them.
class MemoryFiles : public kw::MemoryFiles {
 public:
  bool Has(const std::string& path) const { return Find(path) != nullptr; }
  std::string Text(const std::string& path) const {
    const std::string* text = Find(path);
    return text ? *text : std::string();
  }
};

class RecordingWarnings : public kw::WarningPresenter {
 public:
  std::vector<std::string> messages;
  void Show(const kw::Warning& warning) override { messages.push_back(warning.text); }
};

struct ExportRequest {
  kw::ExportOptions options;
  std::string path = "out.smd";
};

struct ExportResult {
  kw::ExportOutcome outcome = kw::ExportOutcome::kFailed;
  std::string failure;
  bool smdOpened = false;
  std::string smd;
  bool logOpened = false;
  std::string log;
  std::vector<std::string> warnings;
  std::vector<std::string> debugLines;
};

class RecordingDebug : public kw::DebugOutput {
 public:
  std::vector<std::string> lines;
  void Print(const std::string& line) override { lines.push_back(line); }
};

inline ExportRequest Reference() { return ExportRequest(); }

inline ExportRequest Sequence(int startFrame, int endFrame, bool reverse = false) {
  ExportRequest request;
  request.options.exportSequence = true;
  request.options.startFrame = startFrame;
  request.options.endFrame = endFrame;
  request.options.reverseSequence = reverse;
  return request;
}

// One export of the scene (or of any host, a SceneSpy say) into memory.
inline ExportResult RunExport(kw::SceneHost& scene,
                              const ExportRequest& request = ExportRequest()) {
  MemoryFiles files;
  RecordingWarnings warnings;
  RecordingDebug debug;
  kw::ExportReports reports;
  reports.warnings = &warnings;
  reports.debug = &debug;

  ExportResult result;
  const kw::ExportResult exported =
      kw::ExportScene(scene, request.options, request.path, files, reports);
  result.outcome = exported.outcome;
  result.failure = exported.failureMessage;
  result.smdOpened = files.Has(request.path);
  result.smd = files.Text(request.path);
  result.logOpened = files.Has(kw::kLogFileName);
  result.log = files.Text(kw::kLogFileName);
  result.warnings = warnings.messages;
  result.debugLines = debug.lines;
  return result;
}

// The SMD text up to and including the "end" line of the skeleton section;
// the whole text when it has none.
inline std::string ThroughSkeleton(const std::string& smd) {
  const std::size_t skeleton = smd.find("\nskeleton\n");
  if (skeleton == std::string::npos) return smd;
  const std::size_t end = smd.find("\nend\n", skeleton);
  return end == std::string::npos ? smd : smd.substr(0, end + 5);
}

// Contents of tests/export/golden/<name>; a missing file fails the test.
inline std::string ReadGolden(const std::string& name) {
  const std::string path = std::string(KW_TEST_DATA_DIR) + "/export/golden/" + name;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "missing golden file " << path;
    return std::string();
  }
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace kw::test
