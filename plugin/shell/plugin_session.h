// The exporter as the plug-in hands it to the host: the host's scene through
// its free functions, the options dialog, the warning box and files on disk
// are its seams, and DoExport lets no exception cross into the host.
#pragma once

#include "plugin/shell/kestrelworks.h"

namespace kw {

class PluginSession final : public Kestrelworks {
 public:
  PluginSession();

  int DoExport(const char* path, ExpInterface* exportInterface, Interface* hostInterface,
               int suppressPrompts, std::uint32_t hostOptions) noexcept override;

 private:
  // Tells the user of an export an exception interrupted; the export itself
  // has released the scene and closed its files on the way out.
  void Abandon(const char* reason) noexcept;
};

}  // namespace kw
