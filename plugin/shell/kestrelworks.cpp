#include "plugin/shell/kestrelworks.h"

namespace kw {

namespace {

// The host shows Version() / 100; 40 * 1.25 = 50 reads as 0.50, the
// library's file version 0.5.
constexpr float kVersionValue = 1.25f;

}  // namespace

Kestrelworks::Kestrelworks(SceneHost* host, const ExportSeams& seams)
    : host_(host), seams_(seams) {}

Kestrelworks::~Kestrelworks() = default;

int Kestrelworks::DoExport(const char* path, ExpInterface*, Interface* hostInterface, int,
                           std::uint32_t hostOptions) {
  outcome_ = ExportOutcome::kNotRun;
  failureMessage_.clear();
  if (!host_) {
    MarkFailed("No scene to export.");
    return 1;
  }
  ExportJob job(*host_, seams_, options);
  job.Run(path, hostInterface ? hostInterface->GetMAXHWnd() : nullptr,
          (hostOptions & SCENE_EXPORT_SELECTED) != 0);
  options = job.Options();
  outcome_ = job.Outcome();
  failureMessage_ = job.FailureMessage();
  return 1;
}

void Kestrelworks::MarkFailed(const std::string& message) {
  outcome_ = ExportOutcome::kFailed;
  failureMessage_ = message;
}

int Kestrelworks::ExtCount() { return 1; }
const char* Kestrelworks::Ext(int) { return "smd"; }
const char* Kestrelworks::LongDesc() { return "Source Studio Model Data (SMD) Export"; }
const char* Kestrelworks::ShortDesc() { return "Source SMD"; }
const char* Kestrelworks::AuthorName() { return "Kestrelworks developers"; }
const char* Kestrelworks::CopyrightMessage() { return "Copyright 2026 Kestrelworks developers"; }
const char* Kestrelworks::OtherMessage1() { return "https://kestrelworks.invalid/"; }
const char* Kestrelworks::OtherMessage2() { return ""; }
unsigned int Kestrelworks::Version() {
  return static_cast<unsigned int>(static_cast<int>(40.0f * kVersionValue));
}
void Kestrelworks::ShowAbout(HostWindow) {}
int Kestrelworks::SupportsOptions(int, std::uint32_t) { return 1; }

}  // namespace kw
