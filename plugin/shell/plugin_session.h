// The export session as the plug-in hands it to the host: the options
// dialog, the warning box and files on disk are its seams, and DoExport lets
// no exception cross into the host.
#pragma once

#include "core/kestrelworks.h"

class PluginSession final : public Kestrelworks {
 public:
  PluginSession();

  int DoExport(const char* path, ExpInterface* exportInterface, Interface* hostInterface,
               int suppressPrompts, std::uint32_t options) noexcept override;

 private:
  // Closes what an interrupted export left open and tells the user.
  void Abandon(const char* reason) noexcept;
};
