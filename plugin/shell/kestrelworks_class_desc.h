// The class descriptor the host gets from LibClassDesc(0): it names the
// exporter class and makes a new exporter for every export request.
#pragma once

#include "plugin/host_stub/host_sdk.h"

namespace kw {

// Class id of the exporter.
constexpr Class_ID KESTRELWORKS_CLASS_ID(0x52672865, 0x40f96a05);

class KestrelworksClassDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return TRUE; }
  // A new exporter, or null when it cannot be made; loading is ignored.
  void* Create(BOOL loading) override;
  int BeginCreate(Interface*) override { return 0; }
  int EndCreate(Interface*) override { return 0; }
  const char* ClassName() override;
  SClass_ID SuperClassID() override { return SCENE_EXPORT_CLASS_ID; }
  Class_ID ClassID() override { return KESTRELWORKS_CLASS_ID; }
  const char* Category() override;
  BOOL OkToCreate(Interface*) override { return TRUE; }
  BOOL HasClassParams() override { return FALSE; }
  void EditClassParams(HWND) override {}
  int NumActionTables() override { return 0; }
  ActionTable* GetActionTable(int) override { return nullptr; }
  BOOL IsManipulator() override { return FALSE; }
  BOOL CanManipulate(ReferenceTarget*) override { return FALSE; }
  BOOL CanManipulateNode(INode*) override { return FALSE; }
  Manipulator* CreateManipulator(ReferenceTarget*, INode*) override { return nullptr; }
  Manipulator* CreateManipulator(INode*) override { return nullptr; }
  BOOL NeedsToSave() override { return FALSE; }
  IOResult Save(ISave*) override { return IO_OK; }
  IOResult Load(ILoad*) override { return IO_OK; }
  DWORD InitialRollupPageState() override { return 0x7fffffff; }
  const char* InternalName() override { return "Kestrelworks"; }
  HINSTANCE HInstance() override;
  void SetUserDlgProc(ParamBlockDesc2* desc, ParamMap2UserDlgProc* proc) override {
    ClassDesc2::SetUserDlgProc(desc, proc);
  }
};

}  // namespace kw
