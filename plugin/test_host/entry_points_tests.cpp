// The library as the host meets it: its export table, the five entry
// points, the class descriptor's answers and the resources the host reads.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "plugin/test_host/activation_contexts.h"
#include "plugin/test_host/check.h"
#include "plugin/test_host/test_host.h"

namespace kw::test {

namespace {

ClassDesc* Descriptor() {
  return Host().plugin.LibClassDesc ? Host().plugin.LibClassDesc(0) : nullptr;
}

std::string Copy(const char* text) { return text ? text : "(null)"; }

}  // namespace

KW_TEST(EntryPoints, ExportsExactlyTheFiveHostFunctionsByPlainName) {
  std::vector<std::string> names = ExportedNames(Host().plugin.Module());
  std::sort(names.begin(), names.end());
  const std::vector<std::string> expected = {"CanAutoDefer", "LibClassDesc", "LibDescription",
                                             "LibNumberClasses", "LibVersion"};
  CHECK_EQ(names.size(), expected.size());
  for (std::size_t i = 0; i < std::min(names.size(), expected.size()); ++i) {
    CHECK_EQ(names[i], expected[i]);
  }
}

KW_TEST(EntryPoints, AnswerTheHostsQuestions) {
  const PluginLibrary& plugin = Host().plugin;
  CHECK_STREQ(plugin.LibDescription(), "Source Kestrelworks (Kestrelworks developers)");
  CHECK_EQ(plugin.LibNumberClasses(), 1);
  CHECK(plugin.LibClassDesc(0) != nullptr);
  CHECK(plugin.LibClassDesc(0) == plugin.LibClassDesc(0));
  CHECK(plugin.LibClassDesc(1) == nullptr);
  CHECK(plugin.LibClassDesc(-1) == nullptr);
  CHECK_EQ(plugin.LibVersion(), 0x23281500ul);
  CHECK_EQ(plugin.LibVersion(), 589829376ul);
  CHECK_EQ(plugin.CanAutoDefer(), 1ul);
}

KW_TEST(ClassDescriptor, AnswersEveryQueryOfTheTable) {
  ClassDesc* descriptor = Descriptor();
  REQUIRE(descriptor != nullptr);
  CHECK_EQ(descriptor->IsPublic(), 1);
  CHECK_EQ(descriptor->BeginCreate(nullptr), 0);
  CHECK_EQ(descriptor->EndCreate(nullptr), 0);
  // Both names come from one shared buffer: each is copied before the next.
  const std::string className = Copy(descriptor->ClassName());
  const std::string category = Copy(descriptor->Category());
  CHECK_EQ(className, std::string("Kestrelworks"));
  CHECK_EQ(category, std::string("Game Utilities"));
  CHECK_EQ(descriptor->SuperClassID(), 0xA20ul);
  const Class_ID id = descriptor->ClassID();
  CHECK_EQ(id.PartA(), 0x52672865ul);
  CHECK_EQ(id.PartB(), 0x40f96a05ul);
  CHECK_EQ(descriptor->OkToCreate(nullptr), TRUE);
  CHECK_EQ(descriptor->HasClassParams(), FALSE);
  descriptor->EditClassParams(Host().mainWindow);
  CHECK_EQ(descriptor->NumActionTables(), 0);
  CHECK(descriptor->GetActionTable(0) == nullptr);
  CHECK_EQ(descriptor->IsManipulator(), FALSE);
  CHECK_EQ(descriptor->CanManipulate(nullptr), FALSE);
  CHECK_EQ(descriptor->CanManipulateNode(nullptr), FALSE);
  CHECK(descriptor->CreateManipulator(nullptr, nullptr) == nullptr);
  CHECK(descriptor->CreateManipulator(static_cast<INode*>(nullptr)) == nullptr);
  CHECK_EQ(descriptor->NeedsToSave(), FALSE);
  CHECK_EQ(descriptor->Save(nullptr), 0);
  CHECK_EQ(descriptor->Load(nullptr), 0);
  CHECK_EQ(descriptor->InitialRollupPageState(), 0x7fffffffu);
  CHECK_STREQ(descriptor->InternalName(), "Kestrelworks");
  CHECK(descriptor->HInstance() == Host().plugin.Module());
}

KW_TEST(ClassDescriptor, KeepsTheParameterBlockBehaviourForDialogProcedures) {
  auto* descriptor = static_cast<ClassDesc2*>(Descriptor());
  REQUIRE(descriptor != nullptr);
  CHECK_EQ(descriptor->NumParamBlockDescs(), 0);
  CHECK(descriptor->GetParamBlockDesc(0) == nullptr);
  int blockA = 0;
  int procA = 0;
  auto* block = reinterpret_cast<ParamBlockDesc2*>(&blockA);
  auto* proc = reinterpret_cast<ParamMap2UserDlgProc*>(&procA);
  descriptor->SetUserDlgProc(block, proc);
  CHECK(descriptor->GetUserDlgProc(block) == proc);
  descriptor->SetUserDlgProc(block, nullptr);
  CHECK(descriptor->GetUserDlgProc(block) == nullptr);
}

KW_TEST(Library, LoadingRegistersTheHostsCustomControls) {
  WNDCLASSEXA info{};
  info.cbSize = sizeof info;
  CHECK(GetClassInfoExA(GetModuleHandleA(nullptr), "CustEdit", &info));
  info.cbSize = sizeof info;
  CHECK(GetClassInfoExA(GetModuleHandleA(nullptr), "SpinnerControl", &info));
}

KW_TEST(Library, VersionBlockHoldsFileAndProductVersions) {
  const std::string& path = Host().plugin.Path();
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  REQUIRE(size > 0);
  std::vector<char> block(size);
  REQUIRE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  REQUIRE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  REQUIRE(fixed != nullptr);
  CHECK_EQ(fixed->dwFileVersionMS, 0x00000005ul);     // 0.5
  CHECK_EQ(fixed->dwFileVersionLS, 0x00000064ul);     // 0.100
  CHECK_EQ(fixed->dwProductVersionMS, 0x00090000ul);  // 9.0
  CHECK_EQ(fixed->dwProductVersionLS, 0x00000064ul);  // 0.100
  CHECK_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

KW_TEST(Library, CarriesTheDialogAndTheIconInBothSizes) {
  HMODULE module = Host().plugin.Module();
  CHECK(FindResourceA(module, MAKEINTRESOURCEA(108), reinterpret_cast<LPCSTR>(RT_DIALOG)));
  for (int size : {16, 32}) {
    HANDLE icon = LoadImageA(module, MAKEINTRESOURCEA(107), IMAGE_ICON, size, size, 0);
    CHECK(icon != nullptr);
    if (icon) DestroyIcon(static_cast<HICON>(icon));
  }
}

// The manifest names the common controls 6 and nothing else: naming the VC8
// runtime would keep the library from loading wherever that is missing.
KW_TEST(Library, ManifestAsksForCommonControlsSixOnly) {
  ACTCTXA request{};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.hModule = Host().plugin.Module();
  request.lpSource = Host().plugin.Path().c_str();
  request.lpResourceName = MAKEINTRESOURCEA(2);
  HANDLE context = CreateActCtxA(&request);
  REQUIRE(context != INVALID_HANDLE_VALUE);
  const ContextContents contents = DescribeContext(context);
  ReleaseActCtx(context);
  CHECK(SamePath(contents.rootManifest, Host().plugin.Path()));
  CHECK(contents.HasCommonControls6());
  // The library's own manifest and the one assembly it names.
  CHECK_EQ(contents.assemblies.size(), 2u);
}

KW_TEST(Library, UnloadsAndLoadsAgain) {
  const std::string path = Host().plugin.Path();
  Host().plugin.Unload();
  std::string error;
  const bool loaded = Host().plugin.Load(path, &error);
  if (!loaded) Fail(__FILE__, __LINE__, error);
  REQUIRE(loaded);
  CHECK_STREQ(Host().plugin.LibDescription(), "Source Kestrelworks (Kestrelworks developers)");
  SessionPtr session = NewSession();
  CHECK(session != nullptr);
}

}  // namespace kw::test
