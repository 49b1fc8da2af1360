#include "cli/export_all.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/export_pipeline.h"
#include "cli/failure_line.h"
#include "cli/preview_command.h"
#include "cli/qc_file.h"

namespace kw {
namespace {

// Letters, digits, '_' and '-': a name that is a file name on every system
// and one word to studiomdl.
std::string FileSafe(const std::string& name, const std::string& fallback) {
  std::string safe;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    safe += u < 0x80 && (std::isalnum(u) || c == '_' || c == '-') ? c : '_';
  }
  return safe.empty() ? fallback : safe;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string ModelStem(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = file.find_last_of('.');
  if (dot != std::string::npos && dot > 0) file.erase(dot);
  return file;
}

// Unique as a file system that ignores case tells names apart.
std::string Unique(const std::string& name, std::set<std::string>* used) {
  std::string candidate = name;
  for (int n = 2; !used->insert(Lower(candidate)).second; ++n)
    candidate = name + "_" + std::to_string(n);
  return candidate;
}

// The texture name the reference writes for a map: the file part of its name.
std::string TextureName(SceneTextureMap* map) {
  const char* full = map ? map->GetBitmapFileName() : nullptr;
  std::string name = full ? full : "";
  const std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  return name.empty() || name.find_first_of("\r\n") != std::string::npos ? "null.bmp" : name;
}

// Every texture the meshes' materials name, in node order, each once.
std::vector<std::string> Textures(MemoryScene& scene) {
  std::vector<std::string> textures;
  std::set<std::string> seen;
  auto add = [&](SceneMaterial* material) {
    if (!material || material->IsMultiMaterial()) return;
    const std::string name = TextureName(material->GetTextureMap(0));
    if (seen.insert(name).second) textures.push_back(name);
  };
  for (int id = 0; MemoryNode* node = scene.FindNode(id); ++id) {
    IGameObject* object = node->GetObject();
    SceneMaterial* material = node->GetMaterial();
    if (!object || !object->AsMesh() || !material) continue;
    add(material);
    for (int i = 0; material->IsMultiMaterial() && i < material->GetSubMaterialCount(); ++i) {
      add(material->GetSubMaterial(i));
    }
  }
  return textures;
}

struct Job {
  std::string path;
  MemoryScene* scene;
  bool sequence;
};

// The QC goes in place whole or not at all, as the SMDs do.
bool WriteText(const std::string& path, const std::string& text, std::string* error) {
  const std::size_t slash = path.find_last_of('/');
  std::string temporary =
      path.substr(0, slash == std::string::npos ? 0 : slash + 1) + ".kestrelworks_qc_XXXXXX";
  const int fd = ::mkstemp(&temporary[0]);
  if (fd < 0) {
    *error = path + ": cannot create: " + std::strerror(errno);
    return false;
  }
  const char* data = text.data();
  std::size_t left = text.size();
  bool written = ::fchmod(fd, 0644) == 0;
  while (written && left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    if (written) {
      data += n;
      left -= static_cast<std::size_t>(n);
    }
  }
  const int reason = errno;
  written = ::close(fd) == 0 && written;
  if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = path + ": cannot write: " + std::strerror(written ? errno : reason);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

bool MakeFolder(const std::string& folder, std::string* error) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    *error = folder + ": not a folder; --all writes several files into the folder -o names";
    return false;
  }
  if (::mkdir(folder.c_str(), 0777) == 0) return true;
  *error = folder + ": cannot create the folder: " + std::strerror(errno);
  return false;
}

}  // namespace

int ExportAll(const ExportRequest& request) {
  std::string error;
  if (!MakeFolder(request.outputPath, &error)) {
    PrintFailure(error);
    return kExitExportFailed;
  }
  ExportPipeline pipeline(request);
  SceneAnimations animations;
  int status = kExitSuccess;
  const std::unique_ptr<MemoryScene> reference = pipeline.Read(&animations, &status);
  if (!reference) return status;

  // The reference is named after the model, each sequence after its
  // animation; the QC after the model too.
  std::set<std::string> used;
  const std::string model = Unique(FileSafe(ModelStem(request.scenePath), "model"), &used);
  const std::string folder =
      request.outputPath.back() == '/' ? request.outputPath : request.outputPath + "/";
  std::vector<Job> jobs{{folder + model + ".smd", reference.get(), false}};
  QcContents qc;
  qc.modelName = model;
  qc.sourceFile = request.scenePath.substr(request.scenePath.find_last_of('/') + 1);
  qc.referenceFile = model + ".smd";
  qc.fps = request.load.fps;
  qc.textures = Textures(*reference);
  for (std::size_t i = 0; i < animations.scenes.size(); ++i) {
    const std::string name =
        Unique(FileSafe(animations.names[i], "animation_" + std::to_string(i)), &used);
    jobs.push_back(Job{folder + name + ".smd", animations.scenes[i].get(), true});
    qc.sequences.push_back(QcSequence{name, name + ".smd"});
  }

  // On a terminal, a line for each file as it is begun.
  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  for (std::size_t k = 0; k < jobs.size(); ++k) {
    if (terminal)
      std::fprintf(stderr, "kestrelworks: %zu of %zu: %s\n", k + 1, jobs.size(),
                   jobs[k].path.c_str());
    ExportOptions options = OptionsFor(request, *jobs[k].scene);
    options.exportSequence = jobs[k].sequence;
    status = pipeline.Write(*jobs[k].scene, options, jobs[k].path);
    if (status != kExitSuccess) return status;  // every temporary file goes with the pipeline
  }
  status = pipeline.Commit(folder + model + ": nothing written: ");
  if (status != kExitSuccess) return status;
  if (terminal) std::fprintf(stderr, "kestrelworks: %s.qc\n", (folder + model).c_str());
  if (!WriteText(folder + model + ".qc", QcText(qc), &error)) {
    PrintFailure(error);
    return kExitExportFailed;
  }
  // Anything made from the written files goes here, one file at a time.
  for (std::size_t k = 0; request.preview && k < jobs.size(); ++k) {
    status = PreviewExport(jobs[k].path, k == 0 ? "" : jobs[0].path);
    if (status != kExitSuccess) return status;
  }
  return kExitSuccess;
}

}  // namespace kw
