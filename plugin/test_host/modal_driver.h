// Answers the windows a modal call opens on this thread while it runs, the
// way a user would: the options dialog goes to the test's handler, every
// warning box is recorded and closed with OK. Works through a thread timer,
// which every modal message loop of the thread dispatches.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace kw::test {

struct SeenMessageBox {
  std::string caption;
  std::string text;
  HWND owner = nullptr;
  bool ownerEnabled = true;  // a modal box disables its owner
  bool warningIcon = false;
  int buttonCount = 0;
  std::string firstButtonText;
  int firstButtonId = 0;
};

class ModalDriver {
 public:
  // Called on every tick while the options dialog is open, until it returns
  // true: then it has closed the dialog (pressed OK or Cancel). Use CHECK in
  // it, never REQUIRE.
  using DialogHandler = std::function<bool(HWND dialog)>;

  explicit ModalDriver(DialogHandler handler, DWORD dialogTimeoutMs = 20000);
  ~ModalDriver();
  ModalDriver(const ModalDriver&) = delete;
  ModalDriver& operator=(const ModalDriver&) = delete;

  int OptionsDialogsSeen() const { return optionsDialogs_; }
  // The dialog was still open after the timeout and was cancelled by force.
  bool TimedOut() const { return timedOut_; }
  const std::vector<SeenMessageBox>& WarningBoxes() const { return warningBoxes_; }
  const std::vector<std::string>& OtherWindows() const { return otherWindows_; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
  void OnTick();
  void Answer(HWND window);

  DialogHandler handler_;
  DWORD dialogTimeoutMs_;
  UINT_PTR timer_ = 0;
  bool busy_ = false;
  HWND currentDialog_ = nullptr;
  bool dialogDone_ = false;
  DWORD dialogOpenedAt_ = 0;
  int optionsDialogs_ = 0;
  bool timedOut_ = false;
  std::vector<HWND> answered_;
  std::vector<SeenMessageBox> warningBoxes_;
  std::vector<std::string> otherWindows_;
};

// What a user does in a dialog, as messages.
void Click(HWND dialog, int id);
// Types text into an edit field and presses Enter in it.
void TypeInto(HWND dialog, int id, const std::string& text);
std::string TextOf(HWND window);
std::string ClassOf(HWND window);
bool IsChecked(HWND dialog, int id);
// The value of the host spinner control id; INT_MIN when it has none.
int SpinnerValue(HWND dialog, int id);

}  // namespace kw::test
