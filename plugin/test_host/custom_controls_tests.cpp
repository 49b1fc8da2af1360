// The stand-in host's custom controls and window placement, which the
// options dialog relies on.
#include <windows.h>

#include <climits>

#include "plugin/host_stub/host_sdk.h"
#include "plugin/test_host/check.h"
#include "plugin/test_host/modal_driver.h"
#include "plugin/test_host/test_host.h"

namespace kw::test {

namespace {

constexpr char kPanelClass[] = "KestrelworksTestPanel";
constexpr int kEditId = 201;
constexpr int kSpinnerId = 202;

int g_spinnerChanges = 0;

LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == CC_SPINNER_CHANGE && wParam == kSpinnerId) ++g_spinnerChanges;
  return DefWindowProcA(window, message, wParam, lParam);
}

// A window with one linked edit field and spinner, as a dialog would hold them.
class Panel {
 public:
  Panel() {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = PanelProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kPanelClass;
    RegisterClassExA(&windowClass);
    window_ = CreateWindowExA(0, kPanelClass, "panel", WS_OVERLAPPED | WS_CAPTION, 0, 0, 200, 100,
                              Host().mainWindow, nullptr, GetModuleHandleA(nullptr), nullptr);
    edit_ = CreateWindowExA(0, "CustEdit", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10, 10, 50, 20,
                            window_, reinterpret_cast<HMENU>(kEditId), GetModuleHandleA(nullptr),
                            nullptr);
    spinnerWindow_ =
        CreateWindowExA(0, "SpinnerControl", "", WS_CHILD | WS_VISIBLE, 62, 10, 12, 20, window_,
                        reinterpret_cast<HMENU>(kSpinnerId), GetModuleHandleA(nullptr), nullptr);
    spinner_ = GetISpinner(spinnerWindow_);
    if (spinner_) spinner_->LinkToEdit(edit_, EDITTYPE_INT);
    g_spinnerChanges = 0;
  }
  ~Panel() {
    if (spinner_) ReleaseISpinner(spinner_);
    DestroyWindow(window_);
  }
  Panel(const Panel&) = delete;
  Panel& operator=(const Panel&) = delete;

  ISpinnerControl* Spinner() { return spinner_; }
  std::string EditText() const { return TextOf(edit_); }
  void Type(const std::string& text) { TypeInto(window_, kEditId, text); }
  void ClickArrow(bool up) {
    RECT client;
    GetClientRect(spinnerWindow_, &client);
    const LPARAM at = MAKELPARAM(client.right / 2, up ? 1 : client.bottom - 2);
    SendMessageA(spinnerWindow_, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(spinnerWindow_, WM_LBUTTONUP, 0, at);
  }

 private:
  HWND window_ = nullptr;
  HWND edit_ = nullptr;
  HWND spinnerWindow_ = nullptr;
  ISpinnerControl* spinner_ = nullptr;
};

}  // namespace

KW_TEST(Spinner, SetsWithoutNotificationAndHoldsItsLimits) {
  Panel panel;
  ISpinnerControl* spinner = panel.Spinner();
  REQUIRE(spinner != nullptr);
  spinner->SetLimits(0, 10, TRUE);
  spinner->SetValue(5, FALSE);
  CHECK_EQ(spinner->GetIVal(), 5);
  CHECK_EQ(panel.EditText(), std::string("5"));
  CHECK_EQ(g_spinnerChanges, 0);

  spinner->SetValue(7, TRUE);
  CHECK_EQ(spinner->GetIVal(), 7);
  CHECK_EQ(g_spinnerChanges, 1);

  spinner->SetValue(50, FALSE);
  CHECK_EQ(spinner->GetIVal(), 10);
  spinner->SetValue(-3, FALSE);
  CHECK_EQ(spinner->GetIVal(), 0);
  CHECK_EQ(panel.EditText(), std::string("0"));
  CHECK_EQ(g_spinnerChanges, 1);
}

KW_TEST(Spinner, NewLimitsPullTheValueInOnlyWhenAskedTo) {
  Panel panel;
  ISpinnerControl* spinner = panel.Spinner();
  REQUIRE(spinner != nullptr);
  spinner->SetValue(10, FALSE);
  spinner->SetLimits(20, 30, FALSE);
  CHECK_EQ(spinner->GetIVal(), 10);
  spinner->SetLimits(20, 30, TRUE);
  CHECK_EQ(spinner->GetIVal(), 20);
  CHECK_EQ(panel.EditText(), std::string("20"));
  // Limits given the wrong way round still form a range.
  spinner->SetLimits(60, 40, TRUE);
  CHECK_EQ(spinner->GetIVal(), 40);
}

KW_TEST(Spinner, TakesNumbersTypedIntoTheLinkedEdit) {
  Panel panel;
  ISpinnerControl* spinner = panel.Spinner();
  REQUIRE(spinner != nullptr);
  spinner->SetLimits(0, 100, TRUE);
  panel.Type("42");
  CHECK_EQ(spinner->GetIVal(), 42);
  CHECK_EQ(g_spinnerChanges, 1);
  panel.Type("250");
  CHECK_EQ(spinner->GetIVal(), 100);
  CHECK_EQ(panel.EditText(), std::string("100"));
  panel.Type(" -7 ");
  CHECK_EQ(spinner->GetIVal(), 0);
  panel.Type("99999999999999999999");
  CHECK_EQ(spinner->GetIVal(), 100);
  // Text that is no number leaves the value and shows it again.
  panel.Type("12abc");
  CHECK_EQ(spinner->GetIVal(), 100);
  CHECK_EQ(panel.EditText(), std::string("100"));
  panel.Type("");
  CHECK_EQ(spinner->GetIVal(), 100);
}

KW_TEST(Spinner, ArrowsStepByTheScaleWithinTheLimits) {
  Panel panel;
  ISpinnerControl* spinner = panel.Spinner();
  REQUIRE(spinner != nullptr);
  spinner->SetLimits(0, 12, TRUE);
  spinner->SetScale(5.0f);
  spinner->SetValue(0, FALSE);
  panel.ClickArrow(true);
  CHECK_EQ(spinner->GetIVal(), 5);
  CHECK_EQ(panel.EditText(), std::string("5"));
  CHECK_EQ(g_spinnerChanges, 1);
  panel.ClickArrow(true);
  panel.ClickArrow(true);
  CHECK_EQ(spinner->GetIVal(), 12);
  panel.ClickArrow(false);
  CHECK_EQ(spinner->GetIVal(), 7);
  spinner->SetScale(1.0f);
  panel.ClickArrow(false);
  CHECK_EQ(spinner->GetIVal(), 6);
}

KW_TEST(Spinner, OnlySpinnerWindowsGiveASpinnerControl) {
  CHECK(GetISpinner(nullptr) == nullptr);
  CHECK(GetISpinner(Host().mainWindow) == nullptr);
  Panel panel;
  CHECK(panel.Spinner() != nullptr);
}

KW_TEST(CenterWindow, CentresOverTheParentAndStaysOnTheWorkArea) {
  HWND child = CreateWindowExA(0, "STATIC", "child", WS_POPUP | WS_BORDER, 0, 0, 200, 120,
                               Host().mainWindow, nullptr, GetModuleHandleA(nullptr), nullptr);
  REQUIRE(child != nullptr);
  RECT parent;
  GetWindowRect(Host().mainWindow, &parent);
  CHECK(CenterWindow(child, Host().mainWindow));
  RECT box;
  GetWindowRect(child, &box);
  CHECK_EQ(box.left, parent.left + (parent.right - parent.left - 200) / 2);
  CHECK_EQ(box.top, parent.top + (parent.bottom - parent.top - 120) / 2);

  // Without a parent: the middle of the work area.
  RECT work;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  CHECK(CenterWindow(child, nullptr));
  GetWindowRect(child, &box);
  CHECK_EQ(box.left, work.left + (work.right - work.left - 200) / 2);

  // A parent hanging off the screen's edge pulls the window no further than the edge.
  HWND offside = CreateWindowExA(0, "STATIC", "offside", WS_POPUP | WS_VISIBLE, work.right - 100,
                                 work.bottom - 50, 300, 200, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
  CHECK(CenterWindow(child, offside));
  GetWindowRect(child, &box);
  CHECK_EQ(box.right, work.right);
  CHECK_EQ(box.bottom, work.bottom);
  DestroyWindow(offside);
  DestroyWindow(child);
}

}  // namespace kw::test
