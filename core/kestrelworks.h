// The export session: one object carries one export from the host's request
// to the closed SMD file. It owns the options, the scene timing, the two
// output streams, the number locale and the node list, and runs the fixed
// sequence of steps in DoExport.
//
// What depends on the surroundings comes in through ExportSeams: the options
// step (the dialog on the host, the command line here), how a warning is
// shown, and where the files go.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/c_locale.h"
#include "core/text_output.h"
#include "core/warning.h"
#include "host/scene_access.h"
#include "host/scene_host.h"

class Kestrelworks;

// The options the dialog (or the command line) chooses.
struct ExportOptions {
  std::uint32_t exportSequence = 0;  // 0: reference SMD, 1: sequence SMD
  int startFrame = 0;
  int endFrame = 1;
  std::uint32_t reverseSequence = 0;
  std::uint32_t logWarnings = 0;
};

// The options step. Returns 0 when the user cancelled; otherwise it has
// written the session's option fields and the export goes on.
class OptionsStep {
 public:
  virtual ~OptionsStep() = default;
  virtual int Run(Kestrelworks& session, HostWindow parent) = 0;
};

// An options step that applies options decided before the export starts:
// a test, a benchmark, a batch run.
class GivenOptions : public OptionsStep {
 public:
  explicit GivenOptions(const ExportOptions& given) : options(given) {}
  int Run(Kestrelworks& session, HostWindow parent) override;

  ExportOptions options;
};

// Shows one warning to the user. On the host a modal message box; elsewhere
// stderr or a test's record.
class WarningPresenter {
 public:
  virtual ~WarningPresenter() = default;
  virtual void Show(const kw::Warning& warning) = 0;
};

// In the order options, warnings, files: ExportSeams{&step, &warnings, &files}.
struct ExportSeams {
  OptionsStep* options = nullptr;        // null: go on with the options as they stand
  WarningPresenter* warnings = nullptr;  // null: warnings are only logged
  OutputFiles* files = nullptr;          // null: plain files on disk
};

// One exported node.
struct NodeRecord {
  int objectType = 0;
  int nodeId = 0;
  int parentNodeId = 0;
  int index = 0;
  int parentIndex = 0;
  const char* name = nullptr;
  const char* parentName = nullptr;
  SceneNode* node = nullptr;
  SceneNode* parentNode = nullptr;
  bool mirroredParent = false;
};

// How the last DoExport ended. DoExport answers 1 to the host whatever
// happened; callers that can act on a failure read this.
enum class ExportOutcome { kNotRun, kCompleted, kCancelled, kFailed };

class Kestrelworks : public SceneExport {
 public:
  static constexpr int kNodeTableSize = 2048;
  static constexpr const char* kLogFileName = "kestrelworks_log.txt";

  explicit Kestrelworks(const ExportSeams& seams = ExportSeams());
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

  // Runs the whole export. Always returns 1; see Outcome().
  int DoExport(const char* path, ExpInterface* exportInterface, Interface* hostInterface,
               int suppressPrompts, std::uint32_t options) override;

  // Shows one warning and, when logWarnings is set, appends it to the log file.
  void ReportWarning(kw::WarningKind kind, const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
      ;

  ExportOutcome Outcome() const { return outcome_; }
  // Why the export failed; empty unless Outcome() is kFailed.
  const std::string& FailureMessage() const { return failureMessage_; }

  // Node registry.
  void CollectNodes();
  void VisitNode(SceneNode* node);
  void RegisterNode(SceneNode* node, int objectType);
  int LookupNodeIndex(int nodeId) const;
  void ClearNodes();

  // Section writers.
  void WriteNodes();
  void WriteSkeleton();
  void WriteTriangles();

  ExportOptions Options() const;
  void SetOptions(const ExportOptions& options);

  // Fields, in the order and with the meaning the host's exporter keeps them.
  CLocale locale;
  std::unique_ptr<TextStream> smdFile;
  std::unique_ptr<TextStream> logFile;
  int startTicks = 0;
  int endTicks = 0;
  int ticksPerFrame = 0;
  int nodeCount = 0;
  struct NodeIndexEntry {
    int nodeId;
    int index;
  };
  std::vector<NodeIndexEntry> NodeIndexTable;
  std::vector<std::unique_ptr<NodeRecord>> nodes;
  IGameScene* scene = nullptr;
  int animStartFrame = 0;
  int animEndFrame = 0;
  std::uint32_t exportSequence = 0;
  int startFrame = 0;
  int endFrame = 1;
  std::uint32_t reverseSequence = 0;
  std::uint32_t logWarnings = 0;
  int coordSystem = 0;
  std::uint8_t selectedOnly = 0;
  float igameVersion = 0.0f;
  // The host shows Version() / 100; 40 * 1.25 = 50 reads as 0.50, the
  // library's file version 0.5.
  float versionValue = 1.25f;

 private:
  bool OpenOutputs(const char* path);
  void CloseOutputs();
  void Fail(const std::string& message);

  ExportSeams seams_;
  DiskFiles diskFiles_;
  // Node id to index, filled with NodeIndexTable; the first registration of
  // an id wins. Bone links look ids up once per corner, too often for a scan.
  std::unordered_map<int, int> indexByNodeId_;
  // The same look-up as a flat table by id, made after collecting when the
  // ids are small and dense; empty otherwise, or after a later registration.
  std::vector<int> indexByDenseId_;
  ExportOutcome outcome_ = ExportOutcome::kNotRun;
  std::string failureMessage_;
};

// The error callback handed to the scene-access library: writes each error
// to the host's debug output.
class MyErrorProc : public IGameErrorCallBack {
 public:
  void ErrorProc(int errorCode) override;
};

// True exactly when the material's class name is the whole string "Standard".
bool IsStandardMaterial(const SceneMaterial* material);
