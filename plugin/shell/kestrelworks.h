// The exporter as the host sees it: it answers the host's questions about
// the file type it writes and, for each DoExport, runs one ExportJob on the
// scene of the host it was made with. Nothing of one export stays behind for
// the next but the options.
#pragma once

#include <cstdint>
#include <string>

#include "export/export_job.h"
#include "scene/scene_host.h"

namespace kw {

class Kestrelworks : public SceneExport {
 public:
  static constexpr const char* kLogFileName = ExportJob::kLogFileName;

  // host: where every export reads its scene; null fails each export.
  explicit Kestrelworks(SceneHost* host = nullptr, const ExportSeams& seams = ExportSeams());
  ~Kestrelworks() override;
  Kestrelworks(const Kestrelworks&) = delete;
  Kestrelworks& operator=(const Kestrelworks&) = delete;

  // Identity towards the host.
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

  // Runs one whole export; bit 0 of hostOptions: the selection only. Always
  // returns 1; see Outcome().
  int DoExport(const char* path, ExpInterface* exportInterface, Interface* hostInterface,
               int suppressPrompts, std::uint32_t hostOptions) override;

  ExportOutcome Outcome() const { return outcome_; }
  // Why the export failed; empty unless Outcome() is kFailed.
  const std::string& FailureMessage() const { return failureMessage_; }

  // The options the next export's options step starts from; after an
  // export, the options it ran with.
  ExportOptions options;

 protected:
  // For an export that ended in an exception.
  void MarkFailed(const std::string& message);

 private:
  SceneHost* host_;
  ExportSeams seams_;
  ExportOutcome outcome_ = ExportOutcome::kNotRun;
  std::string failureMessage_;
};

}  // namespace kw
