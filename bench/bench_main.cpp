// Export speed against two baselines that write the same bytes: the floor
// (the finished file written from memory in one write) and the
// straightforward writer (one fprintf per line). Prints Markdown tables.
//
//   kw_bench [--quick] [--dir DIR] [--runs N] [--no-scaling] [--no-cli] [--keep]
//                                      --keep leaves R.smd, S.smd and L.smd in DIR, to
//                                      compare two builds' bytes
//   kw_bench --profile R|S [--runs N]   only the session's export, for a profiler
//   kw_bench --preview-only [--runs N] [--dir DIR]   only the command line's preview of
//                                      R; with --dir, R.smd and R.png are kept there
//   kw_bench --flex [--quick] [--runs N]   R's vertex animation file with one shape that
//                                      moves 1% of the vertices, against R; exit 1 when
//                                      it takes twice R's time or more
//   kw_bench --hostile [--dir DIR] [--cli PATH]   the command line on inputs made to
//                                      cost the most, each against its wall-clock budget;
//                                      exit 1 when one runs over (--cli: another build)

#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/hostile.h"
#include "bench/printf_export.h"
#include "bench/workloads.h"
#include "export/export_scene.h"
#include "export/flex_export.h"
#include "export/skeleton_writer.h"
#include "readers/scene_file/scene_file.h"

using kw::ByteSink;
using kw::DiskFiles;
using kw::ExportOptions;
using kw::ExportOutcome;
using kw::LoadSceneFile;
using kw::MemoryScene;
using kw::OutputFiles;
using kw::OutputKind;
using kw::WarningPresenter;
using kw::WrapSkeletonAngle;
using kw::bench::BuildReferenceScene;
using kw::bench::BuildSequenceScene;
using kw::bench::ExportWithPrintf;
using kw::bench::kTicksPerFrame;
using kw::bench::ReferenceShape;
using kw::bench::SequenceShape;
using kw::bench::WriteReferenceSceneFile;

namespace {

struct Settings {
  bool quick = false;
  bool scaling = true;
  bool cli = true;
  int runs = 3;
  std::string dir;
  bool ownDir = false;  // made here, removed at the end
  std::string profile;  // "R" or "S": export that workload only
  bool previewOnly = false;
  bool flex = false;
  bool keep = false;  // R.smd, S.smd and L.smd stay in dir
  bool hostile = false;
  std::string tool = KW_CLI_PATH;  // the command line --hostile runs
};

double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + time.tv_usec * 1e-6;
}

double WallNow() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

// CPU time of this process, user and system: the kernel's copy into the page
// cache counts, other programs on a shared machine do not; waits (a writer
// held back while the disk catches up) do not either.
double CpuNow() {
  struct rusage usage;
  ::getrusage(RUSAGE_SELF, &usage);
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

struct Timing {
  double wall = 1e300;
  double cpu = 1e300;
};

// Each timed run starts alike: no old output for the file system to free,
// and no earlier run's pages still being flushed, which would otherwise land
// on whichever run comes next.
void Settle(const std::string& output) {
  std::remove(output.c_str());
  ::sync();
}

// Fastest of runs, wall and CPU each: noise only ever adds time. Each run
// starts with its output settled, untimed.
Timing Fastest(int runs, const std::function<void()>& run, Timing best = Timing(),
               const std::string& output = std::string()) {
  for (int i = 0; i < runs; ++i) {
    if (!output.empty()) Settle(output);
    const double wall = WallNow();
    const double cpu = CpuNow();
    run();
    best.cpu = std::min(best.cpu, CpuNow() - cpu);
    best.wall = std::min(best.wall, WallNow() - wall);
  }
  return best;
}

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "kw_bench: %s\n", message.c_str());
  std::exit(1);
}

double StatusMiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.compare(0, prefix.size(), prefix) == 0) {
      return std::strtod(line.c_str() + prefix.size(), nullptr) / 1024.0;
    }
  }
  return 0.0;
}

// Starts a new peak: the kernel resets VmHWM to the current resident size.
void ResetPeakMemory() {
  malloc_trim(0);
  std::FILE* refs = std::fopen("/proc/self/clear_refs", "w");
  if (refs) {
    std::fputs("5", refs);
    std::fclose(refs);
  }
}

long long FileSize(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

bool SameBytes(const std::string& a, const std::string& b, std::string* where) {
  std::ifstream left(a, std::ios::binary);
  std::ifstream right(b, std::ios::binary);
  std::vector<char> x(1 << 20);
  std::vector<char> y(1 << 20);
  long long offset = 0;
  while (true) {
    left.read(x.data(), static_cast<std::streamsize>(x.size()));
    right.read(y.data(), static_cast<std::streamsize>(y.size()));
    const std::streamsize n = left.gcount();
    const std::streamsize m = right.gcount();
    const std::streamsize common = std::min(n, m);
    for (std::streamsize i = 0; i < common; ++i) {
      if (x[static_cast<std::size_t>(i)] != y[static_cast<std::size_t>(i)]) {
        *where = "first difference at byte " + std::to_string(offset + i);
        return false;
      }
    }
    if (n != m) {
      *where = "one file ends at byte " + std::to_string(offset + common);
      return false;
    }
    if (n == 0) return true;
    offset += n;
  }
}

// Log file beside the outputs, not in the current directory.
class BenchFiles : public OutputFiles {
 public:
  explicit BenchFiles(std::string dir) : dir_(std::move(dir)) {}
  std::unique_ptr<ByteSink> Open(const std::string& path, OutputKind kind,
                                 std::string* error) override {
    return disk_.Open(kind == OutputKind::kLog ? dir_ + "/" + path : path, kind, error);
  }

 private:
  std::string dir_;
  DiskFiles disk_;
};

class CountingWarnings : public WarningPresenter {
 public:
  int count = 0;
  std::string first;
  void Show(const kw::Warning& warning) override {
    if (count++ == 0) first = warning.text;
  }
};

void ExportWithSession(MemoryScene& scene, const ExportOptions& options, const std::string& path,
                       const std::string& dir) {
  BenchFiles files(dir);
  CountingWarnings warnings;
  kw::ExportReports reports;
  reports.warnings = &warnings;
  const kw::ExportResult result = kw::ExportScene(scene, options, path, files, reports);
  if (result.outcome != ExportOutcome::kCompleted) Die("export failed: " + result.failureMessage);
  if (warnings.count != 0) Die("the workload raised warnings: " + warnings.first);
}

void ExportStraightforward(MemoryScene& scene, const ExportOptions& options,
                           const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file) Die("cannot open " + path);
  const bool written = ExportWithPrintf(scene, options, file);
  if (std::fclose(file) != 0 || !written) Die("cannot write " + path);
}

// The floor: the finished bytes, already in memory, written with one call.
Timing TimeFloor(const std::string& source, const std::string& path, int runs) {
  std::vector<char> bytes(static_cast<std::size_t>(FileSize(source)));
  std::FILE* in = std::fopen(source.c_str(), "rb");
  if (!in || std::fread(bytes.data(), 1, bytes.size(), in) != bytes.size())
    Die("cannot read " + source);
  std::fclose(in);
  return Fastest(
      runs,
      [&] {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) Die("cannot open " + path);
        std::size_t done = 0;
        while (done < bytes.size()) {
          const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
          if (n <= 0) Die("cannot write " + path);
          done += static_cast<std::size_t>(n);
        }
        if (::close(fd) != 0) Die("cannot close " + path);
      },
      Timing(), path);
}

struct Row {
  std::string name;
  long long bytes = 0;
  Timing time;
  Timing floor;
  Timing plain;       // the straightforward writer
  Timing arithmetic;  // the arithmetic floor, where there is one
  bool hasArithmetic = false;
  double peakMiB = 0;
  double sceneMiB = 0;
  std::string note;
};

double MBps(long long bytes, double seconds) { return seconds > 0 ? bytes / seconds / 1e6 : 0; }

void PrintRows(const std::vector<Row>& rows) {
  std::printf(
      "| workload | bytes | seconds | MB/s | floor s | floor MB/s | printf s | printf MB/s | "
      "vs floor | vs printf | arithmetic floor s | vs arithmetic floor | "
      "CPU s: export, floor, printf | peak RSS MiB (scene) |\n"
      "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const Row& row : rows) {
    char arithmetic[64] = "–";
    char versus[64] = "–";
    if (row.hasArithmetic) {
      std::snprintf(arithmetic, sizeof arithmetic, "%.3f", row.arithmetic.wall);
      std::snprintf(versus, sizeof versus, "%.2f", row.arithmetic.wall / row.time.wall);
    }
    std::printf(
        "| %s | %lld | %.3f | %.0f | %.3f | %.0f | %.3f | %.0f | %.2f | %.1f | %s | %s | "
        "%.3f, %.3f, %.3f | %.0f (%.0f) |\n",
        row.name.c_str(), row.bytes, row.time.wall, MBps(row.bytes, row.time.wall), row.floor.wall,
        MBps(row.bytes, row.floor.wall), row.plain.wall, MBps(row.bytes, row.plain.wall),
        row.floor.wall / row.time.wall, row.plain.wall / row.time.wall, arithmetic, versus,
        row.time.cpu, row.floor.cpu, row.plain.cpu, row.peakMiB, row.sceneMiB);
  }
  for (const Row& row : rows) {
    if (!row.note.empty()) std::printf("\n%s: %s\n", row.name.c_str(), row.note.c_str());
  }
}

// What any writer must spend asking the scene for what a reference export
// reads, once per corner as the section is laid out: no formatting.
double TimeReferenceReads(MemoryScene& scene) {
  double sum = 0;
  const double start = WallNow();
  for (int i = 0; i < scene.GetTopLevelNodeCount(); ++i) {
    SceneNode* node = scene.GetTopLevelNode(i);
    IGameObject* object = node->GetObject();
    SceneMesh* mesh = object ? object->AsMesh() : nullptr;
    if (!mesh) continue;
    const IGameSkin* skin = object->GetIGameSkin();
    for (int f = 0; f < mesh->GetFaceCount(); ++f) {
      const MeshFace& face = mesh->GetFace(f);
      for (int k = 0; k < 3; ++k) {
        const int vertex = static_cast<int>(face.vertex[k]);
        sum += mesh->GetVertex(vertex, false).x +
               mesh->GetTexVertex(static_cast<int>(face.texVertex[k])).y;
        const int links = skin ? skin->GetBoneCount(vertex) : 0;
        for (int l = 0; l < links; ++l)
          sum += skin->GetBoneNodeId(vertex, l) + skin->GetWeight(vertex, l);
      }
    }
  }
  const double seconds = WallNow() - start;
  if (sum == 0.5) std::puts("");  // keeps the reads
  return seconds;
}

// The same for a sequence: one world transform per node and pose.
double TimeSequenceReads(MemoryScene& scene, const SequenceShape& shape) {
  std::vector<SceneNode*> all;
  for (int i = 0; i < scene.GetTopLevelNodeCount(); ++i) all.push_back(scene.GetTopLevelNode(i));
  for (std::size_t i = 0; i < all.size(); ++i) {
    for (int c = 0; c < all[i]->GetChildCount(); ++c) all.push_back(all[i]->GetChild(c));
  }
  float sum = 0;
  const double start = WallNow();
  for (int frame = 0; frame < shape.frames; ++frame) {
    for (SceneNode* node : all)
      sum += node->GetHostNode()->GetNodeTransform(frame * kTicksPerFrame).GetTrans().x;
  }
  const double seconds = WallNow() - start;
  if (sum == 0.5f) std::puts("");
  return seconds;
}

// The arithmetic floor of a sequence: the scene calls and the pose
// arithmetic of the export, on one thread, with no text and no writes. One
// world transform per node and pose, a listed parent's taken from the same
// pose, then the inverse, the product, the rotation and its wrapped angles.
Timing TimeSequenceArithmetic(MemoryScene& scene, const SequenceShape& shape, int runs) {
  struct Listed {
    SceneNode* node;
    int parent;  // place in the list, or -1
  };
  std::vector<Listed> nodes;
  std::vector<Listed> pending;
  for (int i = scene.GetTopLevelNodeCount() - 1; i >= 0; --i)
    pending.push_back({scene.GetTopLevelNode(i), -1});
  while (!pending.empty()) {
    const Listed next = pending.back();
    pending.pop_back();
    const int at = static_cast<int>(nodes.size());
    nodes.push_back(next);
    for (int c = next.node->GetChildCount() - 1; c >= 0; --c)
      pending.push_back({next.node->GetChild(c), at});
  }
  Matrix3 identity;
  identity.Zero();
  identity.NoRot();
  identity.NoScale();
  identity.NoTrans();
  const Matrix3 identityInverse = Inverse(identity);
  std::vector<Matrix3> worlds(nodes.size());
  float sum = 0;
  const Timing timing = Fastest(runs, [&] {
    for (int frame = 0; frame < shape.frames; ++frame) {
      for (std::size_t k = 0; k < nodes.size(); ++k) {
        Matrix3 world = nodes[k].node->GetHostNode()->GetNodeTransform(frame * kTicksPerFrame);
        world.NoScale();
        worlds[k] = world;
        const int parent = nodes[k].parent;
        const Matrix3 local =
            world *
            (parent < 0 ? identityInverse : Inverse(worlds[static_cast<std::size_t>(parent)]));
        float angles[3];
        QuatToEuler(EssentialRotation(local), angles);
        const Point3 position = local.GetTrans();
        sum += position.x + position.y + position.z + WrapSkeletonAngle(angles[0]) +
               WrapSkeletonAngle(angles[1]) + WrapSkeletonAngle(angles[2]);
      }
    }
  });
  if (sum == 0.5f) std::puts("");  // keeps the arithmetic
  return timing;
}

ExportOptions ReferenceOptions() { return ExportOptions(); }

ExportOptions SequenceOptions(const SequenceShape& shape) {
  ExportOptions options;
  options.exportSequence = true;
  options.startFrame = 0;
  options.endFrame = shape.frames - 1;
  return options;
}

// Export, straightforward writer, byte comparison, floor.
Row MeasureWorkload(const std::string& name, MemoryScene& scene, const ExportOptions& options,
                    const Settings& settings) {
  Row row;
  row.name = name;
  const std::string smd = settings.dir + "/" + name + ".smd";
  const std::string plain = settings.dir + "/" + name + ".printf.smd";
  const std::string floor = settings.dir + "/" + name + ".floor.smd";

  ResetPeakMemory();
  row.sceneMiB = StatusMiB("VmRSS");
  const auto run = [&] { ExportWithSession(scene, options, smd, settings.dir); };
  row.time = Fastest(1, run, Timing(), smd);
  row.peakMiB = StatusMiB("VmHWM");
  row.time = Fastest(settings.runs - 1, run, row.time, smd);
  row.bytes = FileSize(smd);
  // Slow, so at most two runs.
  row.plain = Fastest(
      std::min(settings.runs, 2), [&] { ExportStraightforward(scene, options, plain); }, Timing(),
      plain);
  std::string where;
  if (!SameBytes(smd, plain, &where))
    Die(name + ": export and straightforward writer differ, " + where);
  row.floor = TimeFloor(smd, floor, settings.runs);
  std::remove(plain.c_str());
  std::remove(floor.c_str());
  return row;
}

// Runs the command-line tool on the scene file; its times and peak memory.
Timing RunCli(const std::vector<std::string>& arguments, const std::string& dir, double* peakMiB) {
  const double start = WallNow();
  const pid_t child = ::fork();
  if (child < 0) Die("fork failed");
  if (child == 0) {
    if (::chdir(dir.c_str()) != 0) _exit(127);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (::wait4(child, &status, 0, &usage) != child) Die("wait failed");
  Timing timing;
  timing.wall = WallNow() - start;
  timing.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    Die("the command line failed: " + arguments[1]);
  *peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  return timing;
}

// L against R is the one comparison across workloads; on a shared machine
// the speed drifts between them, so R is timed again between L's runs.
Row MeasureCommandLine(const ReferenceShape& shape, const Row& reference,
                       const Settings& settings) {
  Row row;
  row.name = "L";
  const std::string scenePath = settings.dir + "/reference.json";
  {
    std::FILE* file = std::fopen(scenePath.c_str(), "w");
    if (!file || !WriteReferenceSceneFile(shape, file) || std::fclose(file) != 0) {
      Die("cannot write " + scenePath);
    }
  }
  const std::string smd = settings.dir + "/L.smd";

  // In process: where the time goes.
  ResetPeakMemory();
  const double before = StatusMiB("VmRSS");
  std::unique_ptr<MemoryScene> scene;
  std::string error;
  const Timing parse = Fastest(1, [&] { scene = LoadSceneFile(scenePath, &error); });
  if (!scene) Die(error);
  const double parsePeak = StatusMiB("VmHWM") - before;
  const Timing exported = Fastest(
      1, [&] { ExportWithSession(*scene, ReferenceOptions(), smd, settings.dir); }, Timing(), smd);
  const double inProcessPeak = StatusMiB("VmHWM");
  malloc_trim(0);  // what the parser freed goes back, so the scene shows alone
  const double sceneMiB = StatusMiB("VmRSS") - before;
  scene.reset();

  Timing best;
  Timing alongside = reference.time;
  double peak = inProcessPeak;
  if (settings.cli) {
    const std::string referenceSmd = settings.dir + "/R.smd";
    const std::unique_ptr<MemoryScene> referenceScene = BuildReferenceScene(shape);
    for (int i = 0; i < std::max(1, settings.runs - 1); ++i) {
      Settle(smd);
      const Timing run = RunCli({KW_CLI_PATH, "export", scenePath, "-o", smd}, settings.dir, &peak);
      best.wall = std::min(best.wall, run.wall);
      best.cpu = std::min(best.cpu, run.cpu);
      alongside = Fastest(
          1,
          [&] {
            ExportWithSession(*referenceScene, ReferenceOptions(), referenceSmd, settings.dir);
          },
          alongside, referenceSmd);
    }
    std::string where;
    if (!SameBytes(smd, settings.dir + "/R.smd", &where)) {
      Die("L: the command line's SMD differs from R's, " + where);
    }
  } else {
    best.wall = parse.wall + exported.wall;
    best.cpu = parse.cpu + exported.cpu;
  }
  row.bytes = FileSize(smd);
  row.time = best;
  row.floor = reference.floor;
  row.plain.wall = parse.wall + reference.plain.wall;
  row.plain.cpu = parse.cpu + reference.plain.cpu;
  row.peakMiB = peak;
  row.sceneMiB = sceneMiB;
  char note[640];
  std::snprintf(note, sizeof note,
                "scene file %.0f MB; in process: parse %.3f s (peak +%.0f MiB), export %.3f s; "
                "command line %.3f s in all (printf column: parse + straightforward writer); "
                "R's export, fastest of its runs and those between L's: %.3f s, L %.2fx it",
                FileSize(scenePath) / 1e6, parse.wall, parsePeak, exported.wall, best.wall,
                alongside.wall, best.wall / alongside.wall);
  row.note = note;
  std::remove(scenePath.c_str());
  if (!settings.keep) std::remove(smd.c_str());
  return row;
}

// The command line's picture of R's SMD (kestrelworks preview): the whole run
// from reading the file to the PNG, and its peak memory beside the SMD's size.
Row MeasurePreview(const Settings& settings, bool keepPicture = false) {
  Row row;
  row.name = "P";
  const std::string smd = settings.dir + "/R.smd";
  const std::string png = settings.dir + "/R.png";
  Timing best;
  double peak = 0;
  for (int i = 0; i < settings.runs; ++i) {
    double runPeak = 0;
    const Timing run = RunCli({KW_CLI_PATH, "preview", smd, "-o", png}, settings.dir, &runPeak);
    best.wall = std::min(best.wall, run.wall);
    best.cpu = std::min(best.cpu, run.cpu);
    peak = std::max(peak, runPeak);
  }
  row.bytes = FileSize(smd);
  row.time = best;
  row.peakMiB = peak;
  char note[256];
  std::snprintf(
      note, sizeof note,
      "preview of R.smd (%.0f MiB) to a %lld-byte PNG: %.3f s, CPU %.3f s; peak RSS %.0f MiB, "
      "%.0f MiB over the SMD's size",
      row.bytes / 1048576.0, FileSize(png), best.wall, best.cpu, peak,
      peak - row.bytes / 1048576.0);
  row.note = note;
  if (!keepPicture) std::remove(png.c_str());
  return row;
}

// One run of the tool, stopped at twice its budget: the seconds it took (or
// ran before it was stopped) and how it ended.
struct BoundedRun {
  double seconds = 0;
  bool stopped = false;
  int status = -1;  // the exit status, or -1 for a signal
};

BoundedRun RunWithin(const std::string& tool, const std::vector<std::string>& arguments,
                     const std::string& dir, double budget) {
  const double start = WallNow();
  const pid_t child = ::fork();
  if (child < 0) Die("fork failed");
  if (child == 0) {
    if (::chdir(dir.c_str()) != 0) _exit(127);
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) ::dup2(null, 1), ::dup2(null, 2);
    std::vector<char*> argv = {const_cast<char*>(tool.c_str())};
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    _exit(127);
  }
  BoundedRun run;
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (done < 0) Die("wait failed");
    if (WallNow() - start > 2 * budget && !run.stopped) {
      ::kill(child, SIGKILL);  // the child this run started, and only it
      run.stopped = true;
    }
    ::usleep(5000);
  }
  run.seconds = WallNow() - start;
  if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
  return run;
}

// The tool on each hostile input; false when one ran past its budget.
bool MeasureHostile(const Settings& settings) {
  std::vector<kw::bench::HostileRun> runs;
  std::string error;
  if (!kw::bench::WriteHostileInputs(settings.dir, &runs, &error)) Die(error);
  std::printf(
      "%s, one run each; seconds are wall time, a run stopped at twice its budget\n\n"
      "| run | input | bytes | command | budget s | seconds | exit | |\n"
      "|---|---|---:|---|---:|---:|---:|---|\n",
      settings.tool.c_str());
  bool within = true;
  for (const kw::bench::HostileRun& run : runs) {
    std::string command;
    for (const std::string& argument : run.arguments)
      command += (command.empty() ? "" : " ") + argument;
    std::fflush(stdout);
    const BoundedRun result =
        RunWithin(settings.tool, run.arguments, settings.dir, run.budgetSeconds);
    const bool fast = !result.stopped && result.seconds <= run.budgetSeconds;
    within = within && fast;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, result.stopped ? "> %.1f" : "%.2f", result.seconds);
    std::printf("| %s | %s | %lld | `%s` | %.0f | %s | %s | %s |\n", run.name.c_str(),
                run.input.c_str(), FileSize(settings.dir + "/" + run.file), command.c_str(),
                run.budgetSeconds, seconds,
                result.status < 0 ? "killed" : std::to_string(result.status).c_str(),
                fast ? "within budget" : "OVER BUDGET");
  }
  for (const char* name : {"gaps.smd", "links.smd", "far.smd", "legend.smd", "chain.smd",
                           "overlap.smd", "fifo.smd", "out.png"}) {
    std::remove((settings.dir + "/" + name).c_str());
  }
  return within;
}

// R's vertex animation file, one shape moving every hundredth vertex, timed
// against R's own export run for run (the machine drifts); false when it
// takes twice as long or more.
bool MeasureFlex(const Settings& settings, const ReferenceShape& shape) {
  auto scene = BuildReferenceScene(shape);
  kw::bench::AddMorphTarget(*scene, 100);
  const std::string smd = settings.dir + "/R.smd";
  const std::string vta = settings.dir + "/R.vta";
  kw::FlexList list;
  const auto flexes = [&] {
    BenchFiles files(settings.dir);
    CountingWarnings warnings;
    kw::ExportReports reports;
    reports.warnings = &warnings;
    const kw::ExportResult result =
        kw::ExportFlexes(*scene, ReferenceOptions(), vta, files, reports, &list);
    if (result.outcome != ExportOutcome::kCompleted) Die("VTA failed: " + result.failureMessage);
    if (warnings.count != 0) Die("the VTA raised warnings: " + warnings.first);
  };
  Timing reference, flex;
  for (int run = 0; run < settings.runs; ++run) {
    reference = Fastest(
        1, [&] { ExportWithSession(*scene, ReferenceOptions(), smd, settings.dir); }, reference,
        smd);
    flex = Fastest(1, flexes, flex, vta);
  }
  const double ratio = flex.wall / reference.wall;
  std::printf(
      "| file | bytes | seconds | CPU s | vs R |\n|---|---:|---:|---:|---:|\n"
      "| R.smd | %lld | %.3f | %.3f | 1.00 |\n| R.vta | %lld | %.3f | %.3f | %.2f |\n\n"
      "%lld triangles; shape \"%s\": %llu of %llu vertex lines; %s\n",
      FileSize(smd), reference.wall, reference.cpu, FileSize(vta), flex.wall, flex.cpu, ratio,
      shape.Triangles(), list.shapes.empty() ? "" : list.shapes[0].name.c_str(),
      static_cast<unsigned long long>(list.shapes.empty() ? 0 : list.shapes[0].vertices),
      static_cast<unsigned long long>(list.baseVertices),
      ratio < 2.0 ? "within twice R's time" : "OVER twice R's time");
  for (const std::string& path : {smd, vta, settings.dir + "/kestrelworks_log.txt"}) {
    std::remove(path.c_str());
  }
  return ratio < 2.0;
}

// Each scaling run starts settled, as every timed run does.
void PrintScaling(const Settings& settings) {
  std::printf(
      "\n| scaling | items | bytes | seconds | MB/s | ns per item |\n"
      "|---|---:|---:|---:|---:|---:|\n");
  const std::string smd = settings.dir + "/scaling.smd";
  const ReferenceShape shapes[] = {{100, 50}, {250, 200}, {1000, 500}};
  for (const ReferenceShape& shape : shapes) {
    auto scene = BuildReferenceScene(shape);
    const double seconds =
        Fastest(
            settings.runs,
            [&] { ExportWithSession(*scene, ReferenceOptions(), smd, settings.dir); }, Timing(),
            smd)
            .wall;
    const long long bytes = FileSize(smd);
    std::printf("| R, triangles | %lld | %lld | %.3f | %.0f | %.1f |\n", shape.Triangles(), bytes,
                seconds, MBps(bytes, seconds),
                seconds * 1e9 / static_cast<double>(shape.Triangles()));
  }
  for (int nodes : {16, 64, 256}) {
    for (int frames : {2000, 20000}) {
      const SequenceShape shape{nodes, frames};
      auto scene = BuildSequenceScene(shape);
      const double seconds =
          Fastest(
              frames > 2000 ? 1 : settings.runs,
              [&] { ExportWithSession(*scene, SequenceOptions(shape), smd, settings.dir); },
              Timing(), smd)
              .wall;
      const long long bytes = FileSize(smd);
      const double lines = static_cast<double>(nodes) * frames;
      std::printf("| S, %d nodes x frames (pose lines) | %d x %d | %lld | %.3f | %.0f | %.1f |\n",
                  nodes, nodes, frames, bytes, seconds, MBps(bytes, seconds),
                  seconds * 1e9 / lines);
    }
  }
  std::remove(smd.c_str());
}

Settings ParseArguments(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--quick") {
      settings.quick = true;
    } else if (argument == "--no-scaling") {
      settings.scaling = false;
    } else if (argument == "--no-cli") {
      settings.cli = false;
    } else if (argument == "--runs" && i + 1 < argc) {
      settings.runs = std::max(1, std::atoi(argv[++i]));
    } else if (argument == "--keep") {
      settings.keep = true;
    } else if (argument == "--preview-only") {
      settings.previewOnly = true;
    } else if (argument == "--flex") {
      settings.flex = true;
    } else if (argument == "--hostile") {
      settings.hostile = true;
    } else if (argument == "--cli" && i + 1 < argc) {
      settings.tool = argv[++i];
    } else if (argument == "--profile" && i + 1 < argc) {
      settings.profile = argv[++i];
      if (settings.profile != "R" && settings.profile != "S") Die("--profile takes R or S");
    } else if (argument == "--dir" && i + 1 < argc) {
      settings.dir = argv[++i];
    } else {
      Die("usage: kw_bench [--quick] [--dir DIR] [--runs N] [--no-scaling] [--no-cli] "
          "[--profile R|S] [--preview-only] [--flex] [--keep] [--hostile [--cli PATH]]");
    }
  }
  if (settings.dir.empty()) {
    char pattern[] = "/tmp/kw_bench.XXXXXX";
    if (!::mkdtemp(pattern)) Die("cannot make a folder for the outputs");
    settings.dir = pattern;
    settings.ownDir = true;
  }
  if (settings.quick) {
    settings.scaling = false;
    settings.runs = 1;
  }
  return settings;
}

}  // namespace

int main(int argc, char** argv) {
  const Settings settings = ParseArguments(argc, argv);
  const ReferenceShape referenceShape = settings.quick ? ReferenceShape{100, 50} : ReferenceShape{};
  const SequenceShape sequenceShape = settings.quick ? SequenceShape{16, 200} : SequenceShape{};
  if (settings.hostile) {
    const bool within = MeasureHostile(settings);
    if (settings.ownDir) ::rmdir(settings.dir.c_str());
    return within ? 0 : 1;
  }
  std::printf(
      "outputs in %s; the fastest of %d run(s); seconds are wall time, CPU s the process's\n"
      "user + system time (blind to other programs, and to waits on the disk)\n\n",
      settings.dir.c_str(), settings.runs);

  if (!settings.profile.empty()) {
    const std::string smd = settings.dir + "/profile.smd";
    std::unique_ptr<MemoryScene> scene = settings.profile == "R"
                                             ? BuildReferenceScene(referenceShape)
                                             : BuildSequenceScene(sequenceShape);
    const ExportOptions options =
        settings.profile == "R" ? ReferenceOptions() : SequenceOptions(sequenceShape);
    const Timing timing =
        Fastest(settings.runs, [&] { ExportWithSession(*scene, options, smd, settings.dir); });
    std::printf("%s: %lld bytes in %.3f s (CPU %.3f s)\n", settings.profile.c_str(), FileSize(smd),
                timing.wall, timing.cpu);
    std::remove(smd.c_str());
    std::remove((settings.dir + "/kestrelworks_log.txt").c_str());
    if (settings.ownDir) ::rmdir(settings.dir.c_str());
    return 0;
  }

  if (settings.flex) {
    const bool within = MeasureFlex(settings, referenceShape);
    if (settings.ownDir) ::rmdir(settings.dir.c_str());
    return within ? 0 : 1;
  }

  if (settings.previewOnly) {
    {
      auto scene = BuildReferenceScene(referenceShape);
      ExportWithSession(*scene, ReferenceOptions(), settings.dir + "/R.smd", settings.dir);
    }
    const Row row = MeasurePreview(settings, !settings.ownDir);
    std::printf("P: %s\n", row.note.c_str());
    std::remove((settings.dir + "/kestrelworks_log.txt").c_str());
    // In a folder of the caller's, the SMD and the picture stay to be looked at.
    if (settings.ownDir) {
      std::remove((settings.dir + "/R.smd").c_str());
      ::rmdir(settings.dir.c_str());
    }
    return 0;
  }

  std::vector<Row> rows;
  {
    const double start = WallNow();
    auto scene = BuildReferenceScene(referenceShape);
    const double build = WallNow() - start;
    Row row = MeasureWorkload("R", *scene, ReferenceOptions(), settings);
    const double reads = TimeReferenceReads(*scene);
    char note[256];
    std::snprintf(note, sizeof note,
                  "%lld triangles, %d vertices, 4 links each; scene built in %.2f s; "
                  "reading the scene's faces, vertices and links alone %.3f s",
                  referenceShape.Triangles(), referenceShape.columns * referenceShape.rows, build,
                  reads);
    row.note = note;
    rows.push_back(row);
  }
  {
    const double start = WallNow();
    auto scene = BuildSequenceScene(sequenceShape);
    const double build = WallNow() - start;
    Row row = MeasureWorkload("S", *scene, SequenceOptions(sequenceShape), settings);
    row.arithmetic = TimeSequenceArithmetic(*scene, sequenceShape, settings.runs);
    row.hasArithmetic = true;
    const double reads = TimeSequenceReads(*scene, sequenceShape);
    char note[256];
    std::snprintf(note, sizeof note,
                  "%d nodes x %d frames; scene built in %.2f s; the in-memory host's world "
                  "transforms alone (one per node and pose) %.3f s",
                  sequenceShape.nodes, sequenceShape.frames, build, reads);
    row.note = note;
    rows.push_back(row);
  }
  rows.push_back(MeasureCommandLine(referenceShape, rows[0], settings));
  PrintRows(rows);
  if (settings.cli) std::printf("\nP: %s\n", MeasurePreview(settings).note.c_str());
  std::fflush(stdout);
  if (settings.scaling) PrintScaling(settings);
  if (!settings.keep) {
    for (const char* name : {"R.smd", "S.smd", "kestrelworks_log.txt"}) {
      std::remove((settings.dir + "/" + name).c_str());
    }
    if (settings.ownDir) ::rmdir(settings.dir.c_str());
  }
  return 0;
}
