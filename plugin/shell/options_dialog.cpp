#include "plugin/shell/options_dialog.h"

#include <utility>

#include "host/host_sdk.h"
#include "plugin/shell/plugin_module.h"
#include "plugin/shell/resource.h"

namespace {

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

std::uint32_t Checked(HWND dialog, int id) {
  return IsDlgButtonChecked(dialog, id) == BST_CHECKED ? 1u : 0u;
}

void Initialise(HWND dialog, Kestrelworks& session) {
  CenterWindow(dialog, GetParent(dialog));
  SetUpSpinner(dialog, IDC_START_FRAME_SPINNER, IDC_START_FRAME_EDIT, session.animStartFrame,
               session.animEndFrame, session.animStartFrame);
  SetUpSpinner(dialog, IDC_END_FRAME_SPINNER, IDC_END_FRAME_EDIT, session.animStartFrame,
               session.animEndFrame, session.animEndFrame);
  CheckRadioButton(dialog, IDC_EXPORT_REFERENCE, IDC_EXPORT_SEQUENCE, IDC_EXPORT_REFERENCE);
  CheckDlgButton(dialog, IDC_REVERSE_SEQUENCE, BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_LOG_WARNINGS, BST_UNCHECKED);
}

void TakeOptions(HWND dialog, Kestrelworks& session) {
  session.exportSequence = Checked(dialog, IDC_EXPORT_SEQUENCE);
  session.reverseSequence = Checked(dialog, IDC_REVERSE_SEQUENCE);
  session.logWarnings = Checked(dialog, IDC_LOG_WARNINGS);
  ReadSpinner(dialog, IDC_START_FRAME_SPINNER, &session.startFrame);
  ReadSpinner(dialog, IDC_END_FRAME_SPINNER, &session.endFrame);
  if (session.startFrame > session.endFrame) std::swap(session.startFrame, session.endFrame);
}

Kestrelworks* SessionOf(HWND dialog) {
  return reinterpret_cast<Kestrelworks*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
}

}  // namespace

int OptionsDialog::Run(Kestrelworks& session, HostWindow parent) {
  ActivationScope scope(PluginActivationContext());
  return static_cast<int>(DialogBoxParamA(PluginInstance(), MAKEINTRESOURCEA(IDD_EXPORT_OPTIONS),
                                          static_cast<HWND>(parent), OptionsDialogProc,
                                          reinterpret_cast<LPARAM>(&session)));
}

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
      if (Kestrelworks* session = SessionOf(dialog)) Initialise(dialog, *session);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          if (Kestrelworks* session = SessionOf(dialog)) TakeOptions(dialog, *session);
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
