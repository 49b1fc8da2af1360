// The plug-in library as the host loads it: LoadLibrary, then its entry
// points looked up by name.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "plugin/host_stub/host_sdk.h"

namespace kw::test {

class PluginLibrary {
 public:
  PluginLibrary() = default;
  ~PluginLibrary() { Unload(); }
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // False with error set when the library or one of its entry points is missing.
  bool Load(const std::string& path, std::string* error);
  void Unload();

  HMODULE Module() const { return module_; }
  const std::string& Path() const { return path_; }

  LibDescriptionProc LibDescription = nullptr;
  LibNumberClassesProc LibNumberClasses = nullptr;
  LibClassDescProc LibClassDesc = nullptr;
  LibVersionProc LibVersion = nullptr;
  CanAutoDeferProc CanAutoDefer = nullptr;

 private:
  HMODULE module_ = nullptr;
  std::string path_;
};

// The names in a loaded module's export table, in the table's order.
std::vector<std::string> ExportedNames(HMODULE module);

}  // namespace kw::test
