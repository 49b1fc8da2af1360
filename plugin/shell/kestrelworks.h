// The plug-in: the one adapter between the host and the portable export.
// This folder holds the class the host loads and its identity answers, the
// dialog that fills the options, the order of steps DoExport follows around
// ExportScene, and where the export's warnings and debug lines go on the
// host; the rest of it (entry points, resources, activation context) is what
// a Windows library needs to be loaded as a plug-in.
#pragma once

#include <cstdint>

#include "diagnostics/outputs.h"
#include "export/export_options.h"
#include "plugin/host_stub/host_services.h"
#include "scene/scene_host.h"

namespace kw {

// The host as the exporter asks it: its scene, and its core interface.
class PluginHost : public SceneHost {
 public:
  // Null when the host has none.
  virtual Interface* GetCoreInterface() = 0;
};

// Where the user chooses the options: the dialog on the host, a script in tests.
class OptionsStep {
 public:
  virtual ~OptionsStep() = default;
  // options comes in as it stands and leaves as chosen. 0 when cancelled.
  virtual int Run(const FrameRange& sceneFrames, ExportOptions& options, HostWindow parent) = 0;
};

class Kestrelworks : public SceneExport {
 public:
  // All three must outlive the exporter.
  Kestrelworks(PluginHost& host, OptionsStep& optionsStep, WarningPresenter& warnings);

  int ExtCount() override;
  const char* Ext(int n) override;
  const char* LongDesc() override;
  const char* ShortDesc() override;
  const char* AuthorName() override;
  const char* CopyrightMessage() override;
  const char* OtherMessage1() override;
  const char* OtherMessage2() override;
  unsigned int Version() override;
  void ShowAbout(HostWindow parent) override;
  int SupportsOptions(int ext, std::uint32_t options) override;

  // Always 1: the host reads nothing more into it, and nothing may be thrown at it.
  int DoExport(const char* path, ExpInterface* exportInterface, Interface* hostInterface,
               int suppressPrompts, std::uint32_t hostOptions) noexcept override;

  // What the last export ran with, and where the next options step starts.
  // Inline: the test host reads it from outside the library.
  const ExportOptions& Options() const { return options_; }

 private:
  void Export(const char* path, Interface* hostInterface, bool selectedOnly);
  void Stopped(const char* reason) noexcept;

  PluginHost& host_;
  OptionsStep& optionsStep_;
  WarningPresenter& warnings_;
  ExportOptions options_;
};

}  // namespace kw
