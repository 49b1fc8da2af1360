// Whole exports through the library: DoExport as the host calls it, the
// dialog answered by the test, warnings in message boxes, and the files on
// disk compared with the native build's export of the same scene.
#include <windows.h>

#include <cctype>
#include <string>
#include <vector>

#include "export/export_scene.h"
#include "plugin/test_host/check.h"
#include "plugin/test_host/modal_driver.h"
#include "plugin/test_host/sample_scenes.h"
#include "plugin/test_host/test_host.h"

namespace kw::test {

namespace {

// Types the range the wrong way round, so the dialog's swap is part of every run.
void AnswerDialog(HWND dialog, const ExportOptions& options) {
  if (options.exportSequence) Click(dialog, 1020);
  TypeInto(dialog, 1163, std::to_string(options.endFrame));
  TypeInto(dialog, 1165, std::to_string(options.startFrame));
  if (options.reverseSequence) Click(dialog, 1037);
  if (options.logWarnings) Click(dialog, 1045);
  Click(dialog, IDOK);
}

struct FigureRun {
  std::string smdPath;
  std::vector<SeenMessageBox> boxes;
  int dialogs = 0;
  int returned = 0;
  int initialised = 0;
  int released = 0;
  int redraws = 0;
  ExportOptions taken;
};

FigureRun RunFigure(const FigureExport& figure) {
  FigureRun run;
  run.smdPath = std::string("wine_") + figure.name + ".smd";
  DeleteFileA(run.smdPath.c_str());
  DeleteFileA(kLogFileName);
  InstalledScene installed(MakeFigureScene());
  SessionPtr exporter = NewSession();
  if (!exporter) {
    Fail(__FILE__, __LINE__, "the class descriptor made no session");
    return run;
  }
  ModalDriver driver([&figure](HWND dialog) {
    AnswerDialog(dialog, figure.options);
    return true;
  });
  run.returned = exporter->DoExport(run.smdPath.c_str(), nullptr, GetCOREInterface(), FALSE,
                                    figure.hostOptions);
  run.dialogs = driver.OptionsDialogsSeen();
  run.boxes = driver.WarningBoxes();
  run.initialised = installed.Spy().InitialiseCalls();
  run.released = installed.Spy().ReleaseCalls();
  run.redraws = installed.Core().RedrawCalls();
  run.taken = AsSession(*exporter).Options();
  CHECK(driver.OtherWindows().empty());
  return run;
}

// The text with every CR LF made LF; false when some line does not end in CR LF.
bool FromCrLf(const std::string& text, std::string* lf) {
  lf->clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      if (i + 1 >= text.size() || text[i + 1] != '\n') return false;
      continue;
    }
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
    *lf += text[i];
  }
  return true;
}

void CompareLines(const std::string& name, const std::string& actual, const std::string& expected) {
  if (actual == expected) return;
  std::size_t line = 1;
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) {
    if (actual[at] == '\n') ++line;
    ++at;
  }
  auto lineAround = [at](const std::string& text) {
    const std::size_t start = text.rfind('\n', at == 0 ? 0 : at - 1);
    const std::size_t from = start == std::string::npos || at == 0 ? 0 : start + 1;
    return text.substr(from, text.find('\n', from) - from);
  };
  Fail(__FILE__, __LINE__,
       name + " differs from the native build at line " + std::to_string(line) + ": " +
           Show(lineAround(actual)) + " instead of " + Show(lineAround(expected)));
}

// The log with LF line ends, its file name replaced by * and every time
// stamp ("hh:mm:ss - ", space-padded) by "hh:mm:ss - ".
std::string ComparableLog(const std::string& log, const std::string& smdPath) {
  std::string text = log;
  const std::string named = "Exporting file: \"" + smdPath + "\"";
  const std::size_t found = text.find(named);
  if (found != std::string::npos) text.replace(found, named.size(), "Exporting file: \"*\"");
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    auto stampDigit = [&line](std::size_t i) {
      return line[i] == ' ' || std::isdigit(static_cast<unsigned char>(line[i]));
    };
    if (line.size() >= 11 && stampDigit(0) && std::isdigit(static_cast<unsigned char>(line[1])) &&
        line[2] == ':' && stampDigit(3) && std::isdigit(static_cast<unsigned char>(line[4])) &&
        line[5] == ':' && stampDigit(6) && std::isdigit(static_cast<unsigned char>(line[7])) &&
        line.compare(8, 3, " - ") == 0) {
      line.replace(0, 8, "hh:mm:ss");
    }
    out += line;
    if (end == std::string::npos) break;
    out += '\n';
    at = end + 1;
  }
  return out;
}

std::string Reference(const std::string& file) { return Host().referenceFolder + "/" + file; }

}  // namespace

KW_TEST(Export, WritesTheNativeBuildsFilesWithCrLfLineEnds) {
  for (const FigureExport& figure : FigureExports()) {
    const FigureRun run = RunFigure(figure);
    CHECK_EQ(run.dialogs, 1);
    CHECK_EQ(run.returned, 1);
    CHECK_EQ(run.initialised, 1);
    CHECK_EQ(run.released, 1);
    CHECK_EQ(run.redraws, 1);
    CHECK_EQ(run.taken.selectedOnly, (figure.hostOptions & SCENE_EXPORT_SELECTED) != 0);
    CHECK_EQ(run.taken.exportSequence, figure.options.exportSequence);
    CHECK_EQ(run.taken.startFrame, figure.options.startFrame);
    CHECK_EQ(run.taken.endFrame, figure.options.endFrame);
    CHECK_EQ(run.taken.reverseSequence, figure.options.reverseSequence);
    CHECK_EQ(run.taken.logWarnings, figure.options.logWarnings);

    std::string smd;
    std::string native;
    if (!ReadWholeFile(run.smdPath, &smd)) {
      Fail(__FILE__, __LINE__, "no SMD file " + run.smdPath);
      continue;
    }
    if (!ReadWholeFile(Reference(std::string(figure.name) + ".smd"), &native)) {
      Fail(__FILE__, __LINE__, std::string("no native SMD for ") + figure.name);
      continue;
    }
    std::string smdLf;
    if (!FromCrLf(smd, &smdLf)) {
      Fail(__FILE__, __LINE__, run.smdPath + " has a line that does not end in CR LF");
    }
    CHECK(!smd.empty() && smd.compare(0, 11, "version 1\r\n") == 0);
    CompareLines(run.smdPath, smdLf, native);

    std::string encoded;
    std::vector<std::string> nativeWarnings;
    CHECK(ReadWholeFile(Reference(std::string(figure.name) + ".warnings"), &encoded) &&
          DecodeWarnings(encoded, &nativeWarnings));
    CHECK_EQ(run.boxes.size(), nativeWarnings.size());
    for (std::size_t i = 0; i < run.boxes.size() && i < nativeWarnings.size(); ++i) {
      CHECK_EQ(run.boxes[i].text, nativeWarnings[i]);
    }

    std::string log;
    std::string nativeLog;
    std::string logLf;
    CHECK(ReadWholeFile(kLogFileName, &log));
    CHECK(FromCrLf(log, &logLf));
    CHECK(ReadWholeFile(Reference(std::string(figure.name) + ".log"), &nativeLog));
    const std::string nativeSmdPath = Reference(std::string(figure.name) + ".smd");
    CompareLines(kLogFileName, ComparableLog(logLf, run.smdPath),
                 ComparableLog(nativeLog, nativeSmdPath));
  }
}

KW_TEST(Export, ShowsEachWarningInAModalBoxOwnedByTheActiveWindow) {
  const FigureRun run = RunFigure(FigureExports().front());
  REQUIRE(!run.boxes.empty());
  for (const SeenMessageBox& box : run.boxes) {
    CHECK_EQ(box.caption, std::string("SMD Export Warning"));
    CHECK(box.warningIcon);
    CHECK_EQ(box.buttonCount, 1);
    CHECK_EQ(box.firstButtonText, std::string("OK"));
    CHECK_EQ(box.firstButtonId, IDOK);
    CHECK(box.owner == Host().mainWindow);
    CHECK(!box.ownerEnabled);
  }
  CHECK(run.boxes.front().text.find("Bogus vertex index for face 3 in mesh \"body\"") == 0);
}

KW_TEST(Export, ReachesTheHostsDebugOutput) {
  std::vector<std::string> lines;
  SetDebugSink(
      [](const char* line, void* context) {
        static_cast<std::vector<std::string>*>(context)->push_back(line);
      },
      &lines);
  InstalledScene installed(MakeRangeScene(0, 10));
  SessionPtr exporter = NewSession();
  REQUIRE(exporter != nullptr);
  {
    ModalDriver driver([](HWND dialog) {
      Click(dialog, IDCANCEL);
      return true;
    });
    exporter->DoExport("debug.smd", nullptr, GetCOREInterface(), FALSE, 0);
  }
  SetDebugSink(nullptr, nullptr);
  REQUIRE(!lines.empty());
  CHECK_EQ(lines.front(), std::string("3ds max compatible version 9.00\n"));
}

}  // namespace kw::test
