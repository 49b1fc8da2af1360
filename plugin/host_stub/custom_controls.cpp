// The stand-in host's custom controls. "CustEdit" is the system edit control
// with a sunken frame that hands typed text to its spinner when the user
// presses Enter or leaves the field. "SpinnerControl" keeps an integer value
// within its limits, steps it by its scale on clicks of its arrows and shows
// it in the linked edit field.
#include "plugin/host_stub/host_sdk.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <utility>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

constexpr char kSpinnerClass[] = "SpinnerControl";
constexpr char kCustEditClass[] = "CustEdit";
// Property of a linked edit field: the window of its spinner.
constexpr char kLinkedSpinnerProp[] = "KwLinkedSpinner";

constexpr UINT_PTR kRepeatTimer = 1;
constexpr UINT kFirstRepeatDelay = 400;
constexpr UINT kRepeatDelay = 60;

WNDPROC g_systemEditProc = nullptr;

HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

class Spinner final : public ISpinnerControl {
 public:
  explicit Spinner(HWND window) : window_(window) {}

  void LinkToEdit(HWND edit, EditSpinnerType) override {
    if (edit_ && IsWindow(edit_)) RemovePropA(edit_, kLinkedSpinnerProp);
    edit_ = edit;
    if (edit_) {
      SetPropA(edit_, kLinkedSpinnerProp, window_);
      ShowValue();
    }
  }

  void SetLimits(int min, int max, BOOL limitCurValue) override {
    if (min > max) std::swap(min, max);
    min_ = min;
    max_ = max;
    if (limitCurValue) Change(value_, false);
  }

  void SetScale(float scale) override {
    const float magnitude = std::fabs(scale);
    step_ = magnitude >= 1.0f && magnitude < 1.0e9f ? static_cast<int>(std::lround(magnitude)) : 1;
  }

  void SetValue(int value, int notify) override { Change(value, notify != 0); }

  int GetIVal() override { return value_; }

  // The value as typed into the edit field; text that is no number leaves
  // the value as it was. The field then shows the value taken.
  void TakeEditText() {
    if (!edit_) return;
    char text[64] = {};
    GetWindowTextA(edit_, text, sizeof text);
    char* end = nullptr;
    errno = 0;
    const long typed = std::strtol(text, &end, 10);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    if (end != text && end && *end == '\0') {
      const bool overflow = errno == ERANGE || typed > INT_MAX || typed < INT_MIN;
      const int value = overflow ? (typed < 0 ? INT_MIN : INT_MAX) : static_cast<int>(typed);
      Change(value, true);
    }
    ShowValue();
  }

  void Press(int direction) {
    TakeEditText();
    pressed_ = direction;
    SetCapture(window_);
    Step();
    SetTimer(window_, kRepeatTimer, kFirstRepeatDelay, nullptr);
    InvalidateRect(window_, nullptr, TRUE);
  }

  void Repeat() {
    if (pressed_ == 0) return;
    SetTimer(window_, kRepeatTimer, kRepeatDelay, nullptr);
    Step();
  }

  void Unpress() {
    if (pressed_ == 0) return;
    pressed_ = 0;
    KillTimer(window_, kRepeatTimer);
    if (GetCapture() == window_) ReleaseCapture();
    InvalidateRect(window_, nullptr, TRUE);
  }

  void Paint(HDC dc) const {
    RECT client;
    GetClientRect(window_, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    const int middle = (client.top + client.bottom) / 2;
    RECT up{client.left, client.top, client.right, middle};
    RECT down{client.left, middle, client.right, client.bottom};
    DrawArrowButton(dc, up, true, pressed_ > 0);
    DrawArrowButton(dc, down, false, pressed_ < 0);
  }

  void Acquire() { ++references_; }

  // True when the control is gone and nobody holds it any more.
  bool Release() { return --references_ <= 0 && window_ == nullptr; }

  bool WindowDestroyed() {
    if (edit_ && IsWindow(edit_)) RemovePropA(edit_, kLinkedSpinnerProp);
    edit_ = nullptr;
    window_ = nullptr;
    return references_ <= 0;
  }

 private:
  void Step() {
    const long long next =
        static_cast<long long>(value_) + static_cast<long long>(pressed_) * step_;
    Change(static_cast<int>(next < INT_MIN ? INT_MIN : (next > INT_MAX ? INT_MAX : next)), true);
  }

  void Change(int value, bool notify) {
    if (value < min_) value = min_;
    if (value > max_) value = max_;
    const bool changed = value != value_;
    value_ = value;
    ShowValue();
    if (changed && notify && window_) {
      SendMessageA(GetParent(window_), CC_SPINNER_CHANGE,
                   static_cast<WPARAM>(GetDlgCtrlID(window_)), reinterpret_cast<LPARAM>(window_));
    }
  }

  void ShowValue() const {
    if (!edit_) return;
    char text[16];
    std::snprintf(text, sizeof text, "%d", value_);
    SetWindowTextA(edit_, text);
  }

  static void DrawArrowButton(HDC dc, RECT box, bool up, bool pressed) {
    DrawEdge(dc, &box, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    const int centreX = (box.left + box.right - 1) / 2;
    const int centreY = (box.top + box.bottom - 1) / 2 + (pressed ? 1 : 0);
    const int width = static_cast<int>(box.right - box.left);
    const int height = static_cast<int>(box.bottom - box.top);
    const int half = std::max(1, std::min(width / 2 - 2, height / 2 - 1));
    const int tip = up ? centreY - half / 2 - 1 : centreY + half / 2 + 1;
    const int base = up ? tip + half : tip - half;
    POINT arrow[3] = {{centreX - half, base}, {centreX + half, base}, {centreX, tip}};
    HGDIOBJ oldBrush = SelectObject(dc, GetSysColorBrush(COLOR_BTNTEXT));
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    Polygon(dc, arrow, 3);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
  }

  HWND window_;
  HWND edit_ = nullptr;
  int value_ = 0;
  int min_ = INT_MIN;
  int max_ = INT_MAX;
  int step_ = 1;
  int pressed_ = 0;  // +1 up arrow held, -1 down arrow held
  int references_ = 0;
};

Spinner* SpinnerOf(HWND window) {
  return reinterpret_cast<Spinner*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

LRESULT CALLBACK SpinnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Spinner* spinner = SpinnerOf(window);
  switch (message) {
    case WM_NCCREATE: {
      Spinner* created = new (std::nothrow) Spinner(window);
      if (!created) return FALSE;
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
      break;
    }
    case WM_NCDESTROY:
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      if (spinner && spinner->WindowDestroyed()) delete spinner;
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      if (spinner) spinner->Paint(dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (spinner) {
        RECT client;
        GetClientRect(window, &client);
        const int y = static_cast<short>(HIWORD(lParam));
        spinner->Press(y < (client.top + client.bottom) / 2 ? 1 : -1);
      }
      return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (spinner) spinner->Unpress();
      return 0;
    case WM_TIMER:
      if (spinner && wParam == kRepeatTimer) spinner->Repeat();
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void TakeEditText(HWND edit) {
  HWND spinnerWindow = static_cast<HWND>(GetPropA(edit, kLinkedSpinnerProp));
  if (!spinnerWindow) return;
  if (Spinner* spinner = SpinnerOf(spinnerWindow)) spinner->TakeEditText();
}

LRESULT CALLBACK CustEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
      create->style |= ES_AUTOHSCROLL;
      create->dwExStyle |= WS_EX_CLIENTEDGE;
      SetWindowLongPtrA(edit, GWL_STYLE, create->style);
      SetWindowLongPtrA(edit, GWL_EXSTYLE, create->dwExStyle);
      break;
    }
    case WM_GETDLGCODE: {
      // Enter takes the typed value instead of pressing the dialog's default button.
      const auto* key = reinterpret_cast<const MSG*>(lParam);
      const LRESULT code = CallWindowProcA(g_systemEditProc, edit, message, wParam, lParam);
      if (key && key->message == WM_KEYDOWN && key->wParam == VK_RETURN)
        return code | DLGC_WANTALLKEYS;
      return code;
    }
    case WM_KEYDOWN:
      if (wParam == VK_RETURN) {
        TakeEditText(edit);
        SendMessageA(edit, EM_SETSEL, 0, -1);
        return 0;
      }
      break;
    case WM_CHAR:
      if (wParam == '\r') return 0;
      break;
    case WM_KILLFOCUS: {
      const LRESULT result = CallWindowProcA(g_systemEditProc, edit, message, wParam, lParam);
      TakeEditText(edit);
      return result;
    }
    case WM_NCDESTROY:
      RemovePropA(edit, kLinkedSpinnerProp);
      break;
    default:
      break;
  }
  return CallWindowProcA(g_systemEditProc, edit, message, wParam, lParam);
}

bool RegisterSpinnerClass() {
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExA(ThisModule(), kSpinnerClass, &existing)) return true;

  WNDCLASSEXA spinner{};
  spinner.cbSize = sizeof spinner;
  spinner.style = CS_GLOBALCLASS | CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  spinner.lpfnWndProc = SpinnerProc;
  spinner.hInstance = ThisModule();
  spinner.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  spinner.lpszClassName = kSpinnerClass;
  return RegisterClassExA(&spinner) != 0;
}

bool RegisterCustEditClass() {
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExA(ThisModule(), kCustEditClass, &existing)) return true;

  WNDCLASSEXA edit{};
  edit.cbSize = sizeof edit;
  if (!GetClassInfoExA(nullptr, "EDIT", &edit)) return false;
  g_systemEditProc = edit.lpfnWndProc;
  edit.lpfnWndProc = CustEditProc;
  edit.style |= CS_GLOBALCLASS;
  edit.hInstance = ThisModule();
  edit.lpszClassName = kCustEditClass;
  return RegisterClassExA(&edit) != 0;
}

}  // namespace

BOOL InitCustomControls(HINSTANCE) {
  const bool spinner = RegisterSpinnerClass();
  const bool edit = RegisterCustEditClass();
  return spinner && edit;
}

ISpinnerControl* GetISpinner(HWND window) {
  char className[32] = {};
  if (!window || !GetClassNameA(window, className, sizeof className)) return nullptr;
  if (lstrcmpiA(className, kSpinnerClass) != 0) return nullptr;
  Spinner* spinner = SpinnerOf(window);
  if (spinner) spinner->Acquire();
  return spinner;
}

void ReleaseISpinner(ISpinnerControl* control) {
  auto* spinner = static_cast<Spinner*>(control);
  if (spinner && spinner->Release()) delete spinner;
}
