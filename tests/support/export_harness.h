// Runs a whole Kestrelworks export of a MemoryScene without touching the
// disk: the SMD and the log land in strings, every warning in a list, and the
// options step answers with fixed options instead of a dialog.
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

#include "plugin/shell/kestrelworks.h"
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

// The options step of a test: applies `options` as they are, or cancels.
class FixedOptions : public kw::OptionsStep {
 public:
  kw::ExportOptions options;
  bool cancel = false;
  int Run(kw::OptionsChoice& choice, HostWindow) override {
    if (cancel) return 0;
    choice.options = options;
    return 1;
  }
};

struct ExportRequest {
  kw::ExportOptions options;
  bool selectedOnly = false;
  bool cancel = false;
  std::string path = "out.smd";
};

struct ExportResult {
  int returned = 0;
  kw::ExportOutcome outcome = kw::ExportOutcome::kNotRun;
  std::string failure;
  bool smdOpened = false;
  std::string smd;
  bool logOpened = false;
  std::string log;
  std::vector<std::string> warnings;
};

inline ExportRequest Reference() { return ExportRequest(); }

inline ExportRequest Sequence(int startFrame, int endFrame, bool reverse = false) {
  ExportRequest request;
  request.options.exportSequence = 1;
  request.options.startFrame = startFrame;
  request.options.endFrame = endFrame;
  request.options.reverseSequence = reverse ? 1 : 0;
  return request;
}

// One DoExport of a new exporter on the scene.
inline ExportResult RunExport(kw::MemoryScene& scene,
                              const ExportRequest& request = ExportRequest()) {
  MemoryFiles files;
  RecordingWarnings warnings;
  FixedOptions options;
  options.options = request.options;
  options.cancel = request.cancel;

  kw::ExportSeams seams{&options, &warnings, &files};

  ExportResult result;
  {
    kw::Kestrelworks session(&scene, seams);
    result.returned = session.DoExport(request.path.c_str(), nullptr, nullptr, 0,
                                       request.selectedOnly ? SCENE_EXPORT_SELECTED : 0u);
    result.outcome = session.Outcome();
    result.failure = session.FailureMessage();
  }

  result.smdOpened = files.Has(request.path);
  result.smd = files.Text(request.path);
  result.logOpened = files.Has(kw::Kestrelworks::kLogFileName);
  result.log = files.Text(kw::Kestrelworks::kLogFileName);
  result.warnings = warnings.messages;
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
