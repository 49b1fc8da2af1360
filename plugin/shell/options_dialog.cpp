#include "plugin/shell/options_dialog.h"

#include <utility>

#include "plugin/host_stub/host_sdk.h"
#include "plugin/shell/plugin_module.h"
#include "plugin/shell/resource.h"

namespace kw {

namespace {

// What the dialog procedure is handed on creation.
struct DialogState {
  FrameRange frames;
  ExportOptions* options;
};

void SetUpSpinner(HWND dialog, int spinnerId, int editId, int low, int high, int value) {
  ISpinnerControl* spinner = GetISpinner(GetDlgItem(dialog, spinnerId));
  if (!spinner) return;
  spinner->LinkToEdit(GetDlgItem(dialog, editId), EDITTYPE_INT);
  spinner->SetLimits(low, high, TRUE);
  spinner->SetScale(1.0f);
  spinner->SetValue(value, FALSE);
  ReleaseISpinner(spinner);
}

// Leaves value as it was when the dialog has no such spinner.
void ReadSpinner(HWND dialog, int spinnerId, int* value) {
  ISpinnerControl* spinner = GetISpinner(GetDlgItem(dialog, spinnerId));
  if (!spinner) return;
  *value = spinner->GetIVal();
  ReleaseISpinner(spinner);
}

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void Initialise(HWND dialog, const FrameRange& frames) {
  CenterWindow(dialog, GetParent(dialog));
  SetUpSpinner(dialog, IDC_START_FRAME_SPINNER, IDC_START_FRAME_EDIT, frames.first, frames.last,
               frames.first);
  SetUpSpinner(dialog, IDC_END_FRAME_SPINNER, IDC_END_FRAME_EDIT, frames.first, frames.last,
               frames.last);
  CheckRadioButton(dialog, IDC_EXPORT_REFERENCE, IDC_EXPORT_SEQUENCE, IDC_EXPORT_REFERENCE);
  CheckDlgButton(dialog, IDC_REVERSE_SEQUENCE, BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_LOG_WARNINGS, BST_UNCHECKED);
}

void TakeOptions(HWND dialog, ExportOptions& options) {
  options.exportSequence = Checked(dialog, IDC_EXPORT_SEQUENCE);
  options.reverseSequence = Checked(dialog, IDC_REVERSE_SEQUENCE);
  options.logWarnings = Checked(dialog, IDC_LOG_WARNINGS);
  ReadSpinner(dialog, IDC_START_FRAME_SPINNER, &options.startFrame);
  ReadSpinner(dialog, IDC_END_FRAME_SPINNER, &options.endFrame);
  if (options.startFrame > options.endFrame) std::swap(options.startFrame, options.endFrame);
}

DialogState* StateOf(HWND dialog) {
  return reinterpret_cast<DialogState*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
}

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
      if (DialogState* state = StateOf(dialog)) Initialise(dialog, state->frames);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          if (DialogState* state = StateOf(dialog)) TakeOptions(dialog, *state->options);
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        default:
          break;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

int OptionsDialog::Run(const FrameRange& sceneFrames, ExportOptions& options, HostWindow parent) {
  ActivationScope scope(PluginActivationContext());
  DialogState state{sceneFrames, &options};
  return static_cast<int>(DialogBoxParamA(PluginInstance(), MAKEINTRESOURCEA(IDD_EXPORT_OPTIONS),
                                          static_cast<HWND>(parent), OptionsDialogProc,
                                          reinterpret_cast<LPARAM>(&state)));
}

}  // namespace kw
