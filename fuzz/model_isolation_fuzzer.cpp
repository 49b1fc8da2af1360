// Model files through the command line's isolation: each input is imported
// and exported in a child process, as `kestrelworks export` does. Whatever
// the importer does with it, the parent must come back with 0 (exported) or
// 3 (refused, or the importer crashed: contained); a crash or failed check
// after the scene was read is ours and a finding (status 1). The first byte
// picks the format, the rest is the file.
//
// The work runs in the child, so libFuzzer sees little coverage grow; the
// in-process model_import_fuzzer is the one that explores our import code.

#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/isolated_run.h"
#include "fuzz/fuzz_export.h"
#include "readers/model_import/model_import.h"

using kw::ExportOptions;
using kw::ImportedModel;
using kw::ImportModel;
using kw::ModelImportOptions;

namespace {

const char* const kExtensions[] = {"obj", "gltf", "dae",     "ply", "stl", "off", "x",   "bvh",
                                   "ac",  "glb",  "md5mesh", "fbx", "3ds", "smd", "ase", "ms3d"};
constexpr unsigned kImportSeconds = 5;

int ImportAndExport(const std::string& path) {
  // The child crashes as the plain tool would, not through libFuzzer's or
  // the sanitizers' handlers, and a parser that loops ends at its deadline.
  for (const int signal : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL, SIGALRM}) {
    ::signal(signal, SIG_DFL);
  }
  ::alarm(kImportSeconds);
  ModelImportOptions options;
  options.limitMemory = false;  // the sanitizers reserve more address space than any cap allows
  ImportedModel model;
  std::string error;
  if (!ImportModel(path, options, &model, &error)) {
    // Any other status than 0 or 3 is a finding in the parent.
    return !error.empty() && error.find('\n') == std::string::npos ? 3 : 98;
  }
  ::alarm(0);
  kw::NoteSceneRead();
  ExportOptions reference;
  kw::fuzz::ExportAndCheck(*model.scene, reference, false);
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t count = sizeof kExtensions / sizeof kExtensions[0];
  const std::string path =
      "/tmp/kw_model_isolation_" + std::to_string(::getpid()) + "." + kExtensions[data[0] % count];
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  std::fwrite(data + 1, 1, size - 1, file);
  std::fclose(file);

  // The child's crash report goes to stderr; libFuzzer's own output is enough.
  const int status = kw::RunIsolated(path, [&] { return ImportAndExport(path); });
  std::remove(path.c_str());
  kw::fuzz::Check(status == 0 || status == 3,
                  "a model file is exported, refused, or its importer's crash contained");
  return 0;
}
