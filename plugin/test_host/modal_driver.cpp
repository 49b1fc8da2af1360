#include "plugin/test_host/modal_driver.h"

#include <algorithm>
#include <climits>

#include "plugin/host_stub/host_sdk.h"

namespace kw::test {

namespace {

constexpr char kOptionsCaption[] = "Source Kestrelworks v0.5b";
constexpr char kWarningCaption[] = "SMD Export Warning";
constexpr UINT kTickMs = 15;

// The driver of the modal call running now; one at a time per thread.
ModalDriver* g_current = nullptr;

BOOL CALLBACK CollectVisibleDialog(HWND window, LPARAM found) {
  if (IsWindowVisible(window) && ClassOf(window) == "#32770") {
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
  }
  return TRUE;
}

std::vector<HWND> VisibleDialogs() {
  std::vector<HWND> dialogs;
  EnumThreadWindows(GetCurrentThreadId(), CollectVisibleDialog, reinterpret_cast<LPARAM>(&dialogs));
  return dialogs;
}

SeenMessageBox Inspect(HWND box) {
  SeenMessageBox seen;
  seen.caption = TextOf(box);
  seen.owner = GetWindow(box, GW_OWNER);
  seen.ownerEnabled = seen.owner && IsWindowEnabled(seen.owner);
  HICON warning = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_WARNING));
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const std::string kind = ClassOf(child);
    const LONG style = static_cast<LONG>(GetWindowLongPtrA(child, GWL_STYLE));
    if (lstrcmpiA(kind.c_str(), "Static") == 0) {
      if ((style & SS_TYPEMASK) == SS_ICON) {
        const auto icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        seen.warningIcon = seen.warningIcon || (icon && icon == warning);
      } else if (!TextOf(child).empty()) {
        seen.text = TextOf(child);
      }
    } else if (lstrcmpiA(kind.c_str(), "Button") == 0 && IsWindowVisible(child)) {
      if (seen.buttonCount++ == 0) {
        seen.firstButtonText = TextOf(child);
        seen.firstButtonId = GetDlgCtrlID(child);
      }
    }
  }
  return seen;
}

}  // namespace

ModalDriver::ModalDriver(DialogHandler handler, DWORD dialogTimeoutMs)
    : handler_(std::move(handler)), dialogTimeoutMs_(dialogTimeoutMs) {
  g_current = this;
  timer_ = SetTimer(nullptr, 0, kTickMs, &ModalDriver::Tick);
}

ModalDriver::~ModalDriver() {
  if (timer_) KillTimer(nullptr, timer_);
  if (g_current == this) g_current = nullptr;
}

void CALLBACK ModalDriver::Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (g_current) g_current->OnTick();
}

void ModalDriver::OnTick() {
  if (busy_) return;
  busy_ = true;
  for (HWND window : VisibleDialogs()) {
    if (std::find(answered_.begin(), answered_.end(), window) != answered_.end()) continue;
    Answer(window);
  }
  busy_ = false;
}

void ModalDriver::Answer(HWND window) {
  const std::string caption = TextOf(window);
  if (caption == kOptionsCaption) {
    if (window != currentDialog_) {
      currentDialog_ = window;
      dialogDone_ = false;
      dialogOpenedAt_ = GetTickCount();
      ++optionsDialogs_;
    }
    if (!dialogDone_ && handler_) dialogDone_ = handler_(window);
    if (!dialogDone_ && GetTickCount() - dialogOpenedAt_ > dialogTimeoutMs_) {
      timedOut_ = true;
      dialogDone_ = true;
      Click(window, IDCANCEL);
    }
    if (dialogDone_) answered_.push_back(window);
    return;
  }
  answered_.push_back(window);
  if (caption == kWarningCaption) {
    warningBoxes_.push_back(Inspect(window));
  } else {
    otherWindows_.push_back(caption);
  }
  // A message box closes with the id of its button; OK is IDOK.
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, IDOK)));
}

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void TypeInto(HWND dialog, int id, const std::string& text) {
  HWND edit = GetDlgItem(dialog, id);
  SetWindowTextA(edit, text.c_str());
  SendMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
  SendMessageA(edit, WM_CHAR, '\r', 0);
  SendMessageA(edit, WM_KEYUP, VK_RETURN, 0);
}

std::string TextOf(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ClassOf(HWND window) {
  char name[128] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

int SpinnerValue(HWND dialog, int id) {
  ISpinnerControl* spinner = GetISpinner(GetDlgItem(dialog, id));
  if (!spinner) return INT_MIN;
  const int value = spinner->GetIVal();
  ReleaseISpinner(spinner);
  return value;
}

}  // namespace kw::test
