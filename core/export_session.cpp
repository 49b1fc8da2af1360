#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <vector>

#include "core/kestrelworks.h"

namespace {

// The scene-access library keeps the callback for as long as it lives, so
// the callback lives as long as this library.
MyErrorProc g_errorProc;

constexpr std::size_t kWarningBufferSize = 1024;

// printf into a string; grows past the usual buffer instead of cutting a long
// warning short.
std::string FormatMessage(const char* format, va_list args) {
  char buffer[kWarningBufferSize];
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(buffer, sizeof buffer, format, copy);
  va_end(copy);
  if (length < 0) return std::string();
  if (static_cast<std::size_t>(length) < sizeof buffer) return std::string(buffer, length);
  std::vector<char> large(static_cast<std::size_t>(length) + 1);
  std::vsnprintf(large.data(), large.size(), format, args);
  return std::string(large.data(), length);
}

}  // namespace

int GivenOptions::Run(Kestrelworks& session, HostWindow) {
  session.SetOptions(options);
  return 1;
}

void MyErrorProc::ErrorProc(int errorCode) {
  DebugPrint("ErrorCode = %d ErrorText = %s\n", errorCode, GetLastIGameErrorText());
}

Kestrelworks::Kestrelworks(const ExportSeams& seams) : seams_(seams) {
  NodeIndexTable.resize(kNodeTableSize);
}

Kestrelworks::~Kestrelworks() = default;

ExportOptions Kestrelworks::Options() const {
  ExportOptions options;
  options.exportSequence = exportSequence;
  options.startFrame = startFrame;
  options.endFrame = endFrame;
  options.reverseSequence = reverseSequence;
  options.logWarnings = logWarnings;
  return options;
}

void Kestrelworks::SetOptions(const ExportOptions& options) {
  exportSequence = options.exportSequence;
  startFrame = options.startFrame;
  endFrame = options.endFrame;
  reverseSequence = options.reverseSequence;
  logWarnings = options.logWarnings;
}

int Kestrelworks::DoExport(const char* path, ExpInterface*, Interface* hostInterface, int,
                           std::uint32_t options) {
  outcome_ = ExportOutcome::kNotRun;
  failureMessage_.clear();

  Interface* core = GetCOREInterface();
  scene = GetIGameInterface();
  SetErrorCallBack(&g_errorProc);
  igameVersion = GetIGameVersion();
  selectedOnly = static_cast<std::uint8_t>(options & SCENE_EXPORT_SELECTED);
  // The stray "%" the line once carried is undefined behaviour in printf.
  DebugPrint("3ds max compatible version %.2f\n", GetSupported3DSVersion());

  if (!scene) {
    Fail("No scene to export.");
    return 1;
  }
  startTicks = scene->GetStartTicks();
  endTicks = scene->GetEndTicks();
  ticksPerFrame = scene->GetTicksPerFrame();
  if (ticksPerFrame <= 0) {
    // Every frame computation divides or steps by it.
    ReportWarning(kw::WarningKind::kNothingExported,
                  "The scene's ticks per frame (%d) must be a positive number.\nNothing was exported.",
                  ticksPerFrame);
    Fail("The scene's ticks per frame (" + std::to_string(ticksPerFrame) +
         ") must be a positive number.");
    return 1;
  }
  animStartFrame = startTicks / ticksPerFrame;
  animEndFrame = endTicks / ticksPerFrame;

  if (seams_.options) {
    HostWindow parent = hostInterface ? hostInterface->GetMAXHWnd() : nullptr;
    if (seams_.options->Run(*this, parent) == 0) {
      outcome_ = ExportOutcome::kCancelled;
      return 1;
    }
  }

  if (IGameConversionManager* conversion = GetConversionManager()) {
    conversion->SetCoordSystem(coordSystem);
  }
  scene->Initialise(selectedOnly != 0);
  scene->SetStaticFrame(0);

  ClearNodes();
  CollectNodes();

  if (OpenOutputs(path)) {
    smdFile->Put("version 1\n");
    WriteNodes();
    WriteSkeleton();
    WriteTriangles();
  }

  ClearNodes();
  scene->Release();
  if (core) core->ForceCompleteRedraw();
  CloseOutputs();
  if (outcome_ == ExportOutcome::kNotRun) outcome_ = ExportOutcome::kCompleted;
  return 1;
}

bool Kestrelworks::OpenOutputs(const char* path) {
  OutputFiles& files = seams_.files ? *seams_.files : diskFiles_;
  std::string error;
  std::unique_ptr<ByteSink> log = files.Open(kLogFileName, OutputKind::kLog, &error);
  if (!log) {
    ReportWarning(kw::WarningKind::kNothingExported,
                  "Could not open the log file \"%s\": %s.\nNothing was exported.", kLogFileName,
                  error.c_str());
    Fail(std::string("could not open the log file \"") + kLogFileName + "\": " + error);
    return false;
  }
  logFile = std::make_unique<TextStream>(std::move(log));
  logFile->Put("Kestrelworks Log File\n=====================\n\nExporting file: \"");
  logFile->Put(path);
  logFile->Put("\"\n\n");

  std::unique_ptr<ByteSink> smd = files.Open(path, OutputKind::kSmd, &error);
  if (!smd) {
    ReportWarning(kw::WarningKind::kNothingExported,
                  "Could not open the output file \"%s\": %s.\nNothing was exported.", path,
                  error.c_str());
    Fail(std::string("could not open \"") + path + "\": " + error);
    return false;
  }
  smdFile = std::make_unique<TextStream>(std::move(smd));
  return true;
}

void Kestrelworks::CloseOutputs() {
  if (smdFile) {
    if (!smdFile->Close()) {
      const std::string error = smdFile->Error();
      ReportWarning(kw::WarningKind::kFileIncomplete,
                    "Could not write the output file: %s.\nThe file is incomplete.", error.c_str());
      Fail("could not write " + error);
    }
    smdFile.reset();
  }
  if (logFile) {
    if (!logFile->Close() && outcome_ != ExportOutcome::kFailed) {
      // The SMD itself is whole; a lost log is worth a debug line, not a failed export.
      DebugPrint("Could not write the log file: %s\n", logFile->Error().c_str());
    }
    logFile.reset();
  }
}

void Kestrelworks::Fail(const std::string& message) {
  if (outcome_ == ExportOutcome::kFailed) return;
  outcome_ = ExportOutcome::kFailed;
  failureMessage_ = message;
}

void Kestrelworks::ReportWarning(kw::WarningKind kind, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string message = FormatMessage(format, args);
  va_end(args);

  if (seams_.warnings) seams_.warnings->Show(kw::Warning{kind, message});

  if (logWarnings && logFile) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char stamp[32];
    locale.Format(stamp, sizeof stamp, "%2d:%2d:%2d - ", local.tm_hour, local.tm_min,
                  local.tm_sec);
    logFile->Put(stamp);
    logFile->Put(message);
    logFile->Put("\n\n");
  }
}
