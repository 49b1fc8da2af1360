// The options dialog, opened by DoExport as the host runs it and driven by
// messages the way a user would drive it.
#include <windows.h>

#include <climits>
#include <string>
#include <vector>

#include "export/export_scene.h"
#include "plugin/test_host/activation_contexts.h"
#include "plugin/test_host/check.h"
#include "plugin/test_host/modal_driver.h"
#include "plugin/test_host/test_host.h"

namespace kw::test {

namespace {

constexpr int kReference = 1019;
constexpr int kSequence = 1020;
constexpr int kStartEdit = 1163;
constexpr int kStartSpinner = 1164;
constexpr int kEndEdit = 1165;
constexpr int kEndSpinner = 1166;
constexpr int kReverse = 1037;
constexpr int kLog = 1045;

struct DialogRun {
  int returned = 0;
  int dialogs = 0;
  bool timedOut = false;
};

// Runs one export of the installed scene with the handler answering the dialog.
DialogRun Export(SceneExport& exporter, const char* path, ModalDriver::DialogHandler handler) {
  ModalDriver driver(std::move(handler));
  DialogRun run;
  run.returned = exporter.DoExport(path, nullptr, GetCOREInterface(), TRUE, 0);
  run.dialogs = driver.OptionsDialogsSeen();
  run.timedOut = driver.TimedOut();
  CHECK(driver.WarningBoxes().empty());
  CHECK(driver.OtherWindows().empty());
  return run;
}

void ClickArrow(HWND dialog, int spinnerId, bool up) {
  HWND spinner = GetDlgItem(dialog, spinnerId);
  RECT client;
  GetClientRect(spinner, &client);
  const LPARAM at = MAKELPARAM(client.right / 2, up ? 1 : client.bottom - 2);
  SendMessageA(spinner, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(spinner, WM_LBUTTONUP, 0, at);
}

struct ControlRow {
  const char* windowClass;
  int id;
  const char* text;  // null: not compared
  LONG styleMask;
  LONG style;
  RECT dialogUnits;  // x, y, width, height
  bool sizedByContent;
};

// The template, control by control in template order.
const std::vector<ControlRow>& TemplateTable() {
  static const std::vector<ControlRow> rows = {
      {"Button", 1, "OK", BS_TYPEMASK, BS_DEFPUSHBUTTON, {51, 142, 50, 14}, false},
      {"Button", 2, "Cancel", BS_TYPEMASK, BS_PUSHBUTTON, {105, 142, 50, 14}, false},
      {"Button", -1, "About", BS_TYPEMASK, BS_GROUPBOX, {6, 4, 193, 47}, false},
      {"Static", -1, nullptr, SS_TYPEMASK, SS_ICON, {14, 16, 20, 20}, true},
      {"Button", -1, "Options", BS_TYPEMASK, BS_GROUPBOX, {7, 55, 192, 83}, false},
      {"Button",
       kReference,
       "Export Reference SMD",
       BS_TYPEMASK | WS_GROUP | WS_TABSTOP,
       BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP,
       {18, 67, 90, 8},
       false},
      {"Button",
       kSequence,
       "Export Sequence SMD",
       BS_TYPEMASK | WS_GROUP,
       BS_AUTORADIOBUTTON,
       {18, 79, 94, 8},
       false},
      {"CustEdit", kStartEdit, nullptr, 0, 0, {102, 91, 25, 10}, false},
      {"SpinnerControl", kStartSpinner, nullptr, 0, 0, {128, 91, 7, 10}, false},
      {"Static", -1, "Export Range", SS_TYPEMASK, SS_RIGHT, {42, 91, 54, 8}, false},
      {"CustEdit", kEndEdit, nullptr, 0, 0, {150, 91, 25, 10}, false},
      {"SpinnerControl", kEndSpinner, nullptr, 0, 0, {176, 91, 7, 10}, false},
      {"Static", -1, "to", SS_TYPEMASK, SS_CENTER, {138, 91, 8, 8}, false},
      {"Button",
       kReverse,
       "Reverse Sequence",
       BS_TYPEMASK,
       BS_AUTOCHECKBOX,
       {54, 103, 96, 12},
       false},
      {"Static", -1, "Source Kestrelworks", SS_TYPEMASK, SS_CENTER, {96, 14, 93, 9}, false},
      {"Static", -1, nullptr, SS_TYPEMASK, SS_CENTER, {96, 25, 93, 9}, false},
      {"Static", -1, nullptr, SS_TYPEMASK, SS_CENTER, {96, 35, 93, 9}, false},
      {"Button",
       kLog,
       "Save errors and warnings to logfile",
       BS_TYPEMASK,
       BS_AUTOCHECKBOX,
       {18, 120, 162, 12},
       false},
  };
  return rows;
}

void CheckTemplate(HWND dialog) {
  CHECK_EQ(TextOf(dialog), std::string("Source Kestrelworks v0.5b"));
  const LONG style = static_cast<LONG>(GetWindowLongPtrA(dialog, GWL_STYLE));
  const LONG exStyle = static_cast<LONG>(GetWindowLongPtrA(dialog, GWL_EXSTYLE));
  CHECK((style & WS_POPUP) != 0);
  CHECK((style & WS_CAPTION) == WS_CAPTION);
  CHECK((style & WS_SYSMENU) == 0);
  CHECK((exStyle & WS_EX_TOOLWINDOW) != 0);
  CHECK((exStyle & WS_EX_DLGMODALFRAME) != 0);

  RECT size{0, 0, 206, 161};
  MapDialogRect(dialog, &size);
  RECT client;
  GetClientRect(dialog, &client);
  CHECK_EQ(client.right, size.right);
  CHECK_EQ(client.bottom, size.bottom);

  LOGFONTA font{};
  const auto handle = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
  CHECK(handle != nullptr && GetObjectA(handle, sizeof font, &font) == sizeof font);
  CHECK_EQ(std::string(font.lfFaceName), std::string("Verdana"));
  HDC screen = GetDC(nullptr);
  CHECK_EQ(font.lfHeight, -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72));
  ReleaseDC(nullptr, screen);
  CHECK_EQ(font.lfWeight, static_cast<LONG>(FW_NORMAL));

  HWND control = GetWindow(dialog, GW_CHILD);
  for (const ControlRow& row : TemplateTable()) {
    if (!control) {
      Fail(__FILE__, __LINE__, std::string("no control for ") + row.windowClass);
      return;
    }
    const std::string where = "control " + std::to_string(row.id) + " (" + row.windowClass + ")";
    if (lstrcmpiA(ClassOf(control).c_str(), row.windowClass) != 0) {
      Fail(__FILE__, __LINE__, where + " has class " + ClassOf(control));
    }
    CHECK_EQ(GetDlgCtrlID(control), row.id);
    if (row.text) CHECK_EQ(TextOf(control), std::string(row.text));
    const LONG controlStyle = static_cast<LONG>(GetWindowLongPtrA(control, GWL_STYLE));
    if ((controlStyle & row.styleMask) != row.style) {
      Fail(__FILE__, __LINE__, where + " has style " + std::to_string(controlStyle));
    }
    // The dialog manager converts position and size separately, each rounded.
    RECT placed = row.dialogUnits;
    MapDialogRect(dialog, &placed);
    const RECT expected{placed.left, placed.top, placed.left + placed.right,
                        placed.top + placed.bottom};
    RECT actual;
    GetWindowRect(control, &actual);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
    const bool samePlace = actual.left == expected.left && actual.top == expected.top;
    const bool sameSize =
        row.sizedByContent || (actual.right == expected.right && actual.bottom == expected.bottom);
    if (!samePlace || !sameSize) {
      Fail(__FILE__, __LINE__,
           where + " is at " + std::to_string(actual.left) + "," + std::to_string(actual.top) +
               "-" + std::to_string(actual.right) + "," + std::to_string(actual.bottom) +
               ", expected " + std::to_string(expected.left) + "," + std::to_string(expected.top) +
               "-" + std::to_string(expected.right) + "," + std::to_string(expected.bottom));
    }
    control = GetWindow(control, GW_HWNDNEXT);
  }
  CHECK(control == nullptr);
}

// Width the text of a control needs beside the control's own decoration.
int NeededWidth(HWND control, HDC dc) {
  const std::string text = TextOf(control);
  SIZE extent{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  if (lstrcmpiA(ClassOf(control).c_str(), "Button") != 0) return extent.cx;
  const LONG type = static_cast<LONG>(GetWindowLongPtrA(control, GWL_STYLE)) & BS_TYPEMASK;
  if (type == BS_AUTORADIOBUTTON || type == BS_AUTOCHECKBOX) {
    return extent.cx + GetSystemMetrics(SM_CXMENUCHECK) + 4;
  }
  if (type == BS_GROUPBOX) return extent.cx + 16;
  return extent.cx + 8;
}

}  // namespace

KW_TEST(OptionsDialog, EveryTextFitsOnItsControl) {
  InstalledScene installed(MakeRangeScene(0, 100));
  SessionPtr exporter = NewSession();
  REQUIRE(exporter != nullptr);
  Export(*exporter, "texts.smd", [](HWND dialog) {
    HDC dc = GetDC(dialog);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(dialog, WM_GETFONT, 0, 0)));
    for (HWND control = GetWindow(dialog, GW_CHILD); control;
         control = GetWindow(control, GW_HWNDNEXT)) {
      if (TextOf(control).empty()) continue;
      RECT box;
      GetClientRect(control, &box);
      const int needed = NeededWidth(control, dc);
      if (needed > box.right) {
        Fail(__FILE__, __LINE__,
             Show(TextOf(control)) + " needs " + std::to_string(needed) + " pixels and has " +
                 std::to_string(box.right));
      }
    }
    SelectObject(dc, old);
    ReleaseDC(dialog, dc);
    Click(dialog, IDCANCEL);
    return true;
  });
}

KW_TEST(OptionsDialog, TemplateHasEveryControlOfTheTable) {
  InstalledScene installed(MakeRangeScene(0, 100));
  SessionPtr exporter = NewSession();
  REQUIRE(exporter != nullptr);
  const DialogRun run = Export(*exporter, "template.smd", [](HWND dialog) {
    CheckTemplate(dialog);
    Click(dialog, IDCANCEL);
    return true;
  });
  CHECK_EQ(run.dialogs, 1);
  CHECK(!run.timedOut);
}

KW_TEST(OptionsDialog, OpensWithReferenceClearedBoxesAndTheScenesRangeAndCancelKeepsTheOptions) {
  InstalledScene installed(MakeRangeScene(0, 100));
  SessionPtr exporter = NewSession();
  REQUIRE(exporter != nullptr);
  // A first export leaves options that the dialog does not start from.
  Export(*exporter, "before_cancel.smd", [](HWND dialog) {
    Click(dialog, kSequence);
    Click(dialog, kReverse);
    Click(dialog, kLog);
    TypeInto(dialog, kStartEdit, "7");
    TypeInto(dialog, kEndEdit, "9");
    Click(dialog, IDOK);
    return true;
  });
  REQUIRE(AsSession(*exporter).Options().exportSequence);
  DeleteFileA("cancelled.smd");
  DeleteFileA(kLogFileName);
  const int initialised = installed.Spy().InitialiseCalls();
  const int released = installed.Spy().ReleaseCalls();
  const int redraws = installed.Core().RedrawCalls();

  const DialogRun run = Export(*exporter, "cancelled.smd", [](HWND dialog) {
    CHECK(IsChecked(dialog, kReference));
    CHECK(!IsChecked(dialog, kSequence));
    CHECK(!IsChecked(dialog, kReverse));
    CHECK(!IsChecked(dialog, kLog));
    CHECK_EQ(SpinnerValue(dialog, kStartSpinner), 0);
    CHECK_EQ(SpinnerValue(dialog, kEndSpinner), 100);
    CHECK_EQ(TextOf(GetDlgItem(dialog, kStartEdit)), std::string("0"));
    CHECK_EQ(TextOf(GetDlgItem(dialog, kEndEdit)), std::string("100"));
    // Changed, then cancelled.
    Click(dialog, kSequence);
    Click(dialog, kLog);
    TypeInto(dialog, kStartEdit, "20");
    Click(dialog, IDCANCEL);
    return true;
  });
  CHECK_EQ(run.dialogs, 1);
  CHECK_EQ(run.returned, 1);
  const ExportOptions& kept = AsSession(*exporter).Options();
  CHECK(kept.exportSequence);
  CHECK_EQ(kept.startFrame, 7);
  CHECK_EQ(kept.endFrame, 9);
  CHECK(kept.reverseSequence);
  CHECK(kept.logWarnings);
  CHECK(!FileExists("cancelled.smd"));
  CHECK(!FileExists(kLogFileName));
  CHECK_EQ(installed.Spy().InitialiseCalls(), initialised);
  CHECK_EQ(installed.Spy().ReleaseCalls(), released);
  CHECK_EQ(installed.Core().RedrawCalls(), redraws);
}

KW_TEST(OptionsDialog, IsCentredOverTheHostsMainWindow) {
  InstalledScene installed(MakeRangeScene(0, 100));
  SessionPtr exporter = NewSession();
  REQUIRE(exporter != nullptr);
  Export(*exporter, "centred.smd", [](HWND dialog) {
    CHECK(GetWindow(dialog, GW_OWNER) == Host().mainWindow);
    RECT parent;
    RECT box;
    GetWindowRect(Host().mainWindow, &parent);
    GetWindowRect(dialog, &box);
    const long dx = (box.left + box.right) - (parent.left + parent.right);
    const long dy = (box.top + box.bottom) - (parent.top + parent.bottom);
    CHECK(dx >= -1 && dx <= 1);
    CHECK(dy >= -1 && dy <= 1);
    Click(dialog, IDCANCEL);
    return true;
  });
}

KW_TEST(OptionsDialog, RunsInsideTheLibrarysActivationContext) {
  InstalledScene installed(MakeRangeScene(0, 100));
  SessionPtr exporter = NewSession();
  REQUIRE(exporter != nullptr);
  Export(*exporter, "context.smd", [](HWND dialog) {
    HANDLE context = nullptr;
    CHECK(GetCurrentActCtx(&context));
    CHECK(context != nullptr);
    if (context) {
      const ContextContents contents = DescribeContext(context);
      ReleaseActCtx(context);
      CHECK(SamePath(contents.rootManifest, Host().plugin.Path()));
      CHECK(contents.HasCommonControls6());
    }
    Click(dialog, IDCANCEL);
    return true;
  });
}

KW_TEST(OptionsDialog, SpinnersHoldValuesWithinTheScenesFrames) {
  InstalledScene installed(MakeRangeScene(0, 100));
  SessionPtr exporter = NewSession();
  REQUIRE(exporter != nullptr);
  Export(*exporter, "held.smd", [](HWND dialog) {
    TypeInto(dialog, kStartEdit, "250");
    CHECK_EQ(SpinnerValue(dialog, kStartSpinner), 100);
    CHECK_EQ(TextOf(GetDlgItem(dialog, kStartEdit)), std::string("100"));
    TypeInto(dialog, kEndEdit, "-40");
    CHECK_EQ(SpinnerValue(dialog, kEndSpinner), 0);
    CHECK_EQ(TextOf(GetDlgItem(dialog, kEndEdit)), std::string("0"));
    ClickArrow(dialog, kStartSpinner, true);
    CHECK_EQ(SpinnerValue(dialog, kStartSpinner), 100);
    ClickArrow(dialog, kEndSpinner, false);
    CHECK_EQ(SpinnerValue(dialog, kEndSpinner), 0);
    ClickArrow(dialog, kEndSpinner, true);
    CHECK_EQ(SpinnerValue(dialog, kEndSpinner), 1);
    ClickArrow(dialog, kStartSpinner, false);
    CHECK_EQ(SpinnerValue(dialog, kStartSpinner), 99);
    Click(dialog, IDCANCEL);
    return true;
  });
}

KW_TEST(OptionsDialog, OkWithStartAfterEndStoresTheRangeSwapped) {
  InstalledScene installed(MakeRangeScene(0, 100));
  SessionPtr exporter = NewSession();
  REQUIRE(exporter != nullptr);
  const DialogRun run = Export(*exporter, "swapped.smd", [](HWND dialog) {
    Click(dialog, kSequence);
    TypeInto(dialog, kStartEdit, "30");
    TypeInto(dialog, kEndEdit, "10");
    CHECK_EQ(SpinnerValue(dialog, kStartSpinner), 30);
    CHECK_EQ(SpinnerValue(dialog, kEndSpinner), 10);
    Click(dialog, IDOK);
    return true;
  });
  CHECK_EQ(run.dialogs, 1);
  const ExportOptions& taken = AsSession(*exporter).Options();
  CHECK(taken.exportSequence);
  CHECK_EQ(taken.startFrame, 10);
  CHECK_EQ(taken.endFrame, 30);
  CHECK(!taken.reverseSequence);
  CHECK(!taken.logWarnings);

  std::string smd;
  REQUIRE(ReadWholeFile("swapped.smd", &smd));
  // 21 poses, counted from 0; the helper's x is its frame number.
  CHECK(smd.find("time 0\r\n  0 10.000000 0.000000 0.000000 ") != std::string::npos);
  CHECK(smd.find("time 20\r\n  0 30.000000 0.000000 0.000000 ") != std::string::npos);
  CHECK(smd.find("time 21\r\n") == std::string::npos);
  CHECK(smd.find("triangles") == std::string::npos);
}

}  // namespace kw::test
