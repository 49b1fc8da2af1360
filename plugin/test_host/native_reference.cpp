// The native side of the plug-in's comparison test: exports the figure
// scene with the native build of the export, with the options the test host
// has the .dle's dialog choose under Wine, and writes <name>.smd,
// <name>.warnings and <name>.log into the folder given.
//   kw_plugin_native_reference OUT_DIR
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "export/export_scene.h"
#include "plugin/test_host/sample_scenes.h"

using kw::ByteSink;
using kw::DiskFiles;
using kw::ExportOptions;
using kw::ExportOutcome;
using kw::ExportReports;
using kw::ExportResult;
using kw::MemoryScene;
using kw::OutputFiles;
using kw::OutputKind;
using kw::WarningPresenter;
using kw::test::EncodeWarnings;
using kw::test::FigureExport;
using kw::test::FigureExports;
using kw::test::MakeFigureScene;

namespace {

class RecordedWarnings : public WarningPresenter {
 public:
  std::vector<std::string> messages;
  void Show(const kw::Warning& warning) override { messages.push_back(warning.text); }
};

// Files on disk, with the log beside the SMD instead of in the current folder.
class FilesInFolder : public OutputFiles {
 public:
  explicit FilesInFolder(std::string logPath) : logPath_(std::move(logPath)) {}
  std::unique_ptr<ByteSink> Open(const std::string& path, OutputKind kind,
                                 std::string* error) override {
    return disk_.Open(kind == OutputKind::kLog ? logPath_ : path, kind, error);
  }

 private:
  DiskFiles disk_;
  std::string logPath_;
};

bool Export(const std::string& folder, const FigureExport& figure) {
  const std::string base = folder + "/" + figure.name;
  std::unique_ptr<MemoryScene> scene = MakeFigureScene();

  // What the plug-in's DoExport hands on: the dialog's choice and bit 0.
  ExportOptions options = figure.options;
  options.selectedOnly = (figure.hostOptions & SCENE_EXPORT_SELECTED) != 0;
  RecordedWarnings warnings;
  FilesInFolder files(base + ".log");
  ExportReports reports;
  reports.warnings = &warnings;

  const ExportResult result = kw::ExportScene(*scene, options, base + ".smd", files, reports);
  if (result.outcome != ExportOutcome::kCompleted) {
    std::cerr << figure.name << ": the export did not complete: " << result.failureMessage << "\n";
    return false;
  }
  std::ofstream out(base + ".warnings", std::ios::binary);
  out << EncodeWarnings(warnings.messages);
  return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: kw_plugin_native_reference OUT_DIR\n";
    return 2;
  }
  bool ok = true;
  for (const FigureExport& figure : FigureExports()) ok = Export(argv[1], figure) && ok;
  return ok ? 0 : 1;
}
