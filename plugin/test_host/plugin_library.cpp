#include "plugin/test_host/plugin_library.h"

namespace kw::test {

namespace {

template <typename Proc>
bool Find(HMODULE module, const char* name, Proc* proc, std::string* error) {
  *proc = reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (*proc) return true;
  *error = std::string("the library exports no ") + name;
  return false;
}

}  // namespace

bool PluginLibrary::Load(const std::string& path, std::string* error) {
  Unload();
  module_ = LoadLibraryA(path.c_str());
  if (!module_) {
    *error = "LoadLibrary(\"" + path + "\") failed with error " + std::to_string(GetLastError());
    return false;
  }
  path_ = path;
  return Find(module_, "LibDescription", &LibDescription, error) &&
         Find(module_, "LibNumberClasses", &LibNumberClasses, error) &&
         Find(module_, "LibClassDesc", &LibClassDesc, error) &&
         Find(module_, "LibVersion", &LibVersion, error) &&
         Find(module_, "CanAutoDefer", &CanAutoDefer, error);
}

void PluginLibrary::Unload() {
  if (module_) FreeLibrary(module_);
  module_ = nullptr;
  LibDescription = nullptr;
  LibNumberClasses = nullptr;
  LibClassDesc = nullptr;
  LibVersion = nullptr;
  CanAutoDefer = nullptr;
}

std::vector<std::string> ExportedNames(HMODULE module) {
  std::vector<std::string> names;
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (!base || dos->e_magic != IMAGE_DOS_SIGNATURE) return names;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return names;
  const IMAGE_DATA_DIRECTORY& entry =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (entry.VirtualAddress == 0) return names;
  const auto* exports =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
  const auto* nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    names.emplace_back(reinterpret_cast<const char*>(base + nameRvas[i]));
  }
  return names;
}

}  // namespace kw::test
