// The Windows-only part of our declarations of the host's plug-in
// interface: the class descriptors, the custom controls, CenterWindow and
// the entry points the host looks up in a plug-in library. The portable part
// (the exporter base class, the core interface, the debug output and the
// scene-access functions) is host_services.h. kwhost.dll implements both.
#pragma once

#include <windows.h>

#include <vector>

#include "plugin/host_stub/host_services.h"

using SClass_ID = ULONG;

// Super-class id of scene exporters.
constexpr SClass_ID SCENE_EXPORT_CLASS_ID = 0xA20;

class Class_ID {
 public:
  constexpr Class_ID() = default;
  constexpr Class_ID(ULONG a, ULONG b) : a_(a), b_(b) {}
  constexpr ULONG PartA() const { return a_; }
  constexpr ULONG PartB() const { return b_; }
  constexpr bool operator==(const Class_ID& other) const {
    return a_ == other.a_ && b_ == other.b_;
  }

 private:
  ULONG a_ = 0xFFFFFFFFu;
  ULONG b_ = 0xFFFFFFFFu;
};

// Host objects a class descriptor may be handed; opaque to the plug-in.
class ActionTable;
class ReferenceTarget;
class INode;
class Manipulator;
class ISave;
class ILoad;
class ParamBlockDesc2;
class ParamMap2UserDlgProc;

using IOResult = int;
constexpr IOResult IO_OK = 0;

// What the host asks a plug-in class about, and how it makes instances.
class ClassDesc : public MaxHeapOperators {
 public:
  virtual ~ClassDesc() = default;
  virtual int IsPublic() = 0;
  // A new instance, or null when it cannot be made.
  virtual void* Create(BOOL loading = FALSE) = 0;
  virtual int BeginCreate(Interface*) { return 0; }
  virtual int EndCreate(Interface*) { return 0; }
  virtual const char* ClassName() = 0;
  virtual SClass_ID SuperClassID() = 0;
  virtual Class_ID ClassID() = 0;
  virtual const char* Category() = 0;
  virtual BOOL OkToCreate(Interface*) { return TRUE; }
  virtual BOOL HasClassParams() { return FALSE; }
  virtual void EditClassParams(HWND) {}
  virtual int NumActionTables() { return 0; }
  virtual ActionTable* GetActionTable(int) { return nullptr; }
  virtual BOOL IsManipulator() { return FALSE; }
  virtual BOOL CanManipulate(ReferenceTarget*) { return FALSE; }
  virtual BOOL CanManipulateNode(INode*) { return FALSE; }
  virtual Manipulator* CreateManipulator(ReferenceTarget*, INode*) { return nullptr; }
  virtual Manipulator* CreateManipulator(INode*) { return nullptr; }
  virtual BOOL NeedsToSave() { return FALSE; }
  virtual IOResult Save(ISave*) { return IO_OK; }
  virtual IOResult Load(ILoad*) { return IO_OK; }
  virtual DWORD InitialRollupPageState() { return 0x7fffffff; }
  virtual const char* InternalName() { return nullptr; }
  virtual HINSTANCE HInstance() { return nullptr; }
};

// The descriptor of classes with parameter blocks. This stand-in keeps the
// user dialog procedure given for each parameter block description.
class ClassDesc2 : public ClassDesc {
 public:
  ClassDesc2();
  ~ClassDesc2() override;
  ClassDesc2(const ClassDesc2&) = delete;
  ClassDesc2& operator=(const ClassDesc2&) = delete;

  virtual int NumParamBlockDescs();
  virtual ParamBlockDesc2* GetParamBlockDesc(int i);
  virtual void SetUserDlgProc(ParamBlockDesc2* desc, ParamMap2UserDlgProc* proc = nullptr);
  virtual ParamMap2UserDlgProc* GetUserDlgProc(ParamBlockDesc2* desc);

 private:
  struct UserDlgProc {
    ParamBlockDesc2* desc;
    ParamMap2UserDlgProc* proc;
  };
  std::vector<UserDlgProc> userDlgProcs_;
};

// The host's custom controls: "CustEdit", an edit field, and
// "SpinnerControl", up and down arrows that step a number shown in a linked
// edit field. InitCustomControls registers both window classes.
BOOL InitCustomControls(HINSTANCE instance);

enum EditSpinnerType {
  EDITTYPE_INT = 0,  // the edit field shows and accepts whole numbers
};

// Sent to a spinner's parent when the spinner's value changed with
// notification: wParam is the spinner's control id, lParam its window.
constexpr UINT CC_SPINNER_CHANGE = WM_USER + 0x600;

class ISpinnerControl {
 public:
  virtual void LinkToEdit(HWND edit, EditSpinnerType type) = 0;
  // Values outside min..max are never taken; limitCurValue also pulls the
  // current value into the new range.
  virtual void SetLimits(int min, int max, BOOL limitCurValue = TRUE) = 0;
  // How far one click on an arrow steps the value.
  virtual void SetScale(float scale) = 0;
  // notify: tell the parent with CC_SPINNER_CHANGE.
  virtual void SetValue(int value, int notify) = 0;
  virtual int GetIVal() = 0;

 protected:
  ~ISpinnerControl() = default;
};

// The spinner control of a "SpinnerControl" window, or null for any other
// window. Give it back with ReleaseISpinner after use.
ISpinnerControl* GetISpinner(HWND spinner);
void ReleaseISpinner(ISpinnerControl* spinner);

// Centres window over parent (over the screen's work area when parent is
// null or hidden), kept inside the work area.
BOOL CenterWindow(HWND window, HWND parent);

// The entry points the host looks up in a plug-in library by name.
using LibDescriptionProc = const char* (*)();
using LibNumberClassesProc = int (*)();
using LibClassDescProc = ClassDesc* (*)(int i);
using LibVersionProc = ULONG (*)();
using CanAutoDeferProc = ULONG (*)();

// LibVersion(): release 9000 in the high 16 bits, API 21, SDK revision 0.
constexpr ULONG VERSION_3DSMAX = (9000ul << 16) | (21ul << 8) | 0ul;
