#include "fuzz/fuzz_export.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

using kw::ExportOptions;
using kw::ExportOutcome;
using kw::MemoryFiles;
using kw::MemoryScene;
using kw::WarningPresenter;

namespace kw::fuzz {
namespace {

class CountingWarnings : public WarningPresenter {
 public:
  int count = 0;
  bool empty = false;
  void Show(const kw::Warning& warning) override {
    ++count;
    empty = empty || warning.text.empty();
  }
};

bool EndsWith(const std::string& text, const char* tail) {
  const std::string end(tail);
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "guarantee broken: %s\n", what);
  std::abort();
}

void ExportAndCheck(MemoryScene& scene, const ExportOptions& options, bool selectedOnly) {
  MemoryFiles files;
  CountingWarnings warnings;
  kw::ExportReports reports;
  reports.warnings = &warnings;
  ExportOptions chosen = options;
  chosen.selectedOnly = selectedOnly;
  const kw::ExportResult result = kw::ExportScene(scene, chosen, "fuzz.smd", files, reports);

  Check(!warnings.empty, "every warning has a text");
  const std::string* smd = files.Find("fuzz.smd");
  if (result.outcome == ExportOutcome::kFailed) {
    Check(!result.failureMessage.empty(), "a failed export says why");
    Check(warnings.count > 0, "a failed export is reported as a warning too");
    return;
  }
  Check(smd != nullptr, "a completed export wrote the SMD");
  Check(smd->compare(0, 16, "version 1\nnodes\n") == 0, "the SMD starts with its header");
  Check(EndsWith(*smd, "\nend\n"), "the SMD ends with a closed section");
  Check(smd->find("\nskeleton\n") != std::string::npos, "the SMD holds a skeleton section");
  const std::string* log = files.Find(kw::kLogFileName);
  Check(log != nullptr && log->compare(0, 21, "Kestrelworks Log File") == 0,
        "the log file starts with its header");
}

}  // namespace kw::fuzz
