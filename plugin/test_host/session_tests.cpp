// The sessions the class descriptor makes and their identity as a scene
// exporter towards the host.
#include <windows.h>

#include <string>

#include "plugin/test_host/check.h"
#include "plugin/test_host/modal_driver.h"
#include "plugin/test_host/test_host.h"

namespace kw::test {

namespace {

void CheckConstructionDefaults(const Kestrelworks& session) {
  const ExportOptions& options = session.Options();
  CHECK(!options.exportSequence);
  CHECK_EQ(options.startFrame, 0);
  CHECK_EQ(options.endFrame, 1);
  CHECK(!options.reverseSequence);
  CHECK(!options.logWarnings);
  CHECK(!options.selectedOnly);
}

}  // namespace

KW_TEST(Session, TwoCreatesGiveIndependentSessionsWithConstructionDefaults) {
  SessionPtr first = NewSession();
  SessionPtr second = NewSession();
  REQUIRE(first != nullptr);
  REQUIRE(second != nullptr);
  CHECK(first.get() != second.get());
  CheckConstructionDefaults(AsSession(*first));
  CheckConstructionDefaults(AsSession(*second));

  // What one exporter keeps of its export is its own.
  {
    InstalledScene installed(MakeRangeScene(0, 10));
    ModalDriver driver([](HWND dialog) {
      Click(dialog, 1020);
      Click(dialog, IDOK);
      return true;
    });
    first->DoExport("independent.smd", nullptr, GetCOREInterface(), FALSE, SCENE_EXPORT_SELECTED);
  }
  CHECK(AsSession(*first).Options().exportSequence);
  CHECK(AsSession(*first).Options().selectedOnly);
  CheckConstructionDefaults(AsSession(*second));

  // The loading flag makes no difference.
  ClassDesc* descriptor = Host().plugin.LibClassDesc(0);
  SessionPtr loaded(static_cast<SceneExport*>(descriptor->Create(TRUE)));
  REQUIRE(loaded != nullptr);
  CheckConstructionDefaults(AsSession(*loaded));
}

KW_TEST(Identity, AnswersTheHostsFileTypeQuestions) {
  SessionPtr exporter = NewSession();
  REQUIRE(exporter != nullptr);
  CHECK_EQ(exporter->ExtCount(), 1);
  for (int n : {0, 1, -1, 7, 1000}) CHECK_STREQ(exporter->Ext(n), "smd");
  CHECK_STREQ(exporter->LongDesc(), "Source Studio Model Data (SMD) Export");
  CHECK_STREQ(exporter->ShortDesc(), "Source SMD");
  CHECK_STREQ(exporter->AuthorName(), "Kestrelworks developers");
  const std::string notice = exporter->CopyrightMessage() ? exporter->CopyrightMessage() : "";
  CHECK(notice.find("2026") != std::string::npos);
  CHECK(notice.find("Kestrelworks developers") != std::string::npos);
  CHECK(exporter->OtherMessage1() != nullptr && exporter->OtherMessage1()[0] != '\0');
  CHECK_STREQ(exporter->OtherMessage2(), "");
  // Shown by the host as 0.50, the library's version 0.5.
  CHECK_EQ(exporter->Version(), 50u);
  CHECK_EQ(exporter->SupportsOptions(0, 0), 1);
  CHECK_EQ(exporter->SupportsOptions(3, 0xFFFFFFFFu), 1);
}

KW_TEST(Identity, ShowAboutOpensNoWindow) {
  SessionPtr exporter = NewSession();
  REQUIRE(exporter != nullptr);
  // A box it opened would be closed and recorded here instead of waiting.
  ModalDriver driver(nullptr);
  exporter->ShowAbout(Host().mainWindow);
  CHECK_EQ(driver.OptionsDialogsSeen(), 0);
  CHECK(driver.WarningBoxes().empty());
  CHECK(driver.OtherWindows().empty());
}

}  // namespace kw::test
