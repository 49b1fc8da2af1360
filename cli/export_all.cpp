#include "cli/export_all.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "cli/check_command.h"
#include "cli/collision_model.h"
#include "cli/exit_codes.h"
#include "cli/export_pipeline.h"
#include "cli/failure_line.h"
#include "cli/export_preview.h"
#include "cli/export_summary.h"
#include "cli/loop_check.h"
#include "cli/output_guard.h"
#include "cli/qc_file.h"
#include "export/flex_export.h"
#include "cli/replacing_files.h"
#include "cli/stderr_warnings.h"
#include "smd/smd_reader.h"

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

// A mesh of the scene has a skin: its vertices may hang on several bones.
bool HasSkin(const MemoryScene& scene) {
  std::vector<MemoryNode*> pending(scene.GetSceneRoots().begin(), scene.GetSceneRoots().end());
  while (!pending.empty()) {
    MemoryNode* node = pending.back();
    pending.pop_back();
    IGameObject* object = node->GetObject();
    if (object && object->AsMesh() && object->GetIGameSkin()) return true;
    for (MemoryNode* child : node->GetSceneChildren()) pending.push_back(child);
  }
  return false;
}

// The reference as written, for what is made from it; a file we just wrote
// that does not read back is a failure of the run.
bool ReadBack(const std::string& temporary, const std::string& shown, smd::File* file) {
  std::string error;
  if (smd::ReadSmd(temporary, file, &error)) return true;
  PrintFailure(shown + ": does not read back as written; nothing was replaced");
  return false;
}

// The skeleton to define in a QC without a reference mesh: the reference's
// nodes in their pose at time 0.
std::vector<QcBone> BonesOf(const smd::File& file) {
  std::vector<QcBone> bones;
  if (file.frames.empty()) return bones;
  std::map<int, std::string> names;
  for (const smd::Node& node : file.nodes) names[node.index] = node.name;
  const smd::Frame& first = file.frames.front();
  std::map<int, const smd::Pose*> poses;
  for (std::uint32_t i = 0; i < first.poseCount; ++i) {
    const smd::Pose& pose = file.poses[first.firstPose + i];
    poses[pose.node] = &pose;
  }
  for (const smd::Node& node : file.nodes) {
    QcBone bone;
    bone.name = node.name;
    const auto parent = names.find(node.parent);
    if (parent != names.end()) bone.parent = parent->second;
    const auto pose = poses.find(node.index);
    if (pose != poses.end()) {
      std::copy(pose->second->position, pose->second->position + 3, bone.position);
      std::copy(pose->second->rotation, pose->second->rotation + 3, bone.rotation);
    }
    bones.push_back(bone);
  }
  return bones;
}

// The longest file name a folder takes: most file systems' 255 bytes, or
// fewer where the folder says so.
std::size_t NameRoom(const std::string& folder) {
  const long most = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  return most > 0 && most < 255 ? static_cast<std::size_t>(most) : 255;
}

// Names Windows keeps for devices, in any case and with any extension: a
// folder holding one cannot be copied to where the compiler runs.
bool KeptByWindows(const std::string& name) {
  std::string stem = Lower(name.substr(0, name.find('.')));
  if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul") return true;
  return stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

// The file name for what the model calls name: file-safe, no device's name,
// at most room bytes, unique as a file system that ignores case tells names
// apart. A warning says why when it is not the model's own.
std::string FileName(const std::string& name, const std::string& fallback, std::size_t room,
                     const std::string& what, const std::string& extensions,
                     std::set<std::string>* used, StderrWarnings* warnings) {
  std::string safe = FileSafe(name, fallback);
  std::string why;
  if (safe.size() > room) {
    safe.resize(room);
    why = "the name is too long for a file";
  }
  if (KeptByWindows(safe)) {
    why = "Windows keeps the name " + safe + " for a device";
    if (safe.size() < room) {
      safe += '_';
    } else {
      safe.back() = '_';
    }
  }
  std::string candidate = safe;
  for (int n = 2; !used->insert(Lower(candidate)).second; ++n) {
    const std::string suffix = "_" + std::to_string(n);
    candidate = safe.substr(0, room - suffix.size()) + suffix;
  }
  if (!why.empty()) {
    warnings->Show(Warning{
        WarningKind::kFileNameChanged,
        what + " \"" + OneLine(name) + "\" is written as " + candidate + extensions + ": " + why});
  }
  return candidate;
}

struct Job {
  std::string path;
  MemoryScene* scene;
  bool sequence;
  bool preview = false;   // its picture is drawn
  std::string temporary;  // where it was written
};

bool MakeFolder(const std::string& folder, std::string* error) {
  // Made first and looked at after: another run may make it at the same time.
  if (::mkdir(folder.c_str(), 0777) == 0) return true;
  const int reason = errno;
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    *error = folder + ": not a folder; --all writes several files into the folder -o names";
    return false;
  }
  std::string target, cause;
  if (::lstat(folder.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    *error = folder + ": a symbolic link to " +
             (FollowLinks(folder, &target, &cause) ? target : std::string("nowhere")) +
             ", which does not exist; make that folder, or name another";
    return false;
  }
  *error = folder + ": cannot create the folder: " + std::strerror(reason);
  return false;
}

// An SMD of --all may replace a regular file of its name; a link there was
// not named by the user, and the file must not be one the run reads.
int CheckSmdPlace(const std::string& path, const std::vector<RunInput>& inputs) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return kExitSuccess;
  if (S_ISLNK(st.st_mode)) {
    std::string target, cause;
    if (!FollowLinks(path, &target, &cause)) target = cause;
    PrintFailure(path + ": a symbolic link is there (to " + target +
                 "); export --all writes no file through a link it did not make: remove the "
                 "link, or name another folder");
    return kExitExportFailed;
  }
  if (!S_ISREG(st.st_mode)) {
    PrintFailure(path + ": it is " + FileTypeName(st.st_mode) +
                 ", not a regular file; remove it, or name another folder");
    return kExitExportFailed;
  }
  std::string cause;
  if (!CheckNotAnInput(path, inputs, &cause)) {
    PrintFailure(path + ": " + cause + "; name another folder");
    return kExitUsage;
  }
  return kExitSuccess;
}

// Where the QC goes: over the QC of the last run while it is unchanged,
// else beside it as .qc.new, with a line saying so once all is in place.
struct QcPlan {
  std::string path;  // empty: not written
  std::string note;
};

bool IsLink(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Whether a QC may go to path; false with why it may not.
bool MayWriteQc(const std::string& path, const std::vector<RunInput>& inputs, bool overwrite,
                bool acceptEdited, std::string* why) {
  constexpr std::size_t kLargestQc = 1 << 20;
  std::string head;
  const Found found = Look(path, kLargestQc, &head);
  if (found == Found::kNothing) return true;
  if (!CheckNotAnInput(path, inputs, why)) return false;
  const QcState state = found == Found::kFile ? JudgeQc(head) : QcState::kOther;
  if (state == QcState::kOurs || (acceptEdited && state == QcState::kEdited)) return true;
  if (overwrite && (found == Found::kFile || IsLink(path))) return true;
  if (state == QcState::kEdited) {
    *why = "it was edited since kestrelworks wrote it";
  } else if (found == Found::kFile) {
    *why = "kestrelworks did not write it";
  } else if (IsLink(path)) {
    *why = "it is a symbolic link kestrelworks did not make";
  } else {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    *why = std::string("it is ") + FileTypeName(st.st_mode) + ", not a regular file";
  }
  return false;
}

QcPlan PlanQc(const std::string& path, const std::vector<RunInput>& inputs, bool overwrite,
              StderrWarnings* warnings) {
  std::string why, whyNot;
  if (MayWriteQc(path, inputs, overwrite, false, &why)) return QcPlan{path, ""};
  // The .qc.new of an earlier run is replaced, edited or not: it was never used.
  const std::string beside = path + ".new";
  if (MayWriteQc(beside, inputs, overwrite, true, &whyNot)) {
    return QcPlan{beside, path + ": " + why + "; it is kept, and the new QC is " + beside};
  }
  warnings->Show(Warning{WarningKind::kFileNotReplaced,
                         OneLine(path) + ": not written: " + why + ", and " + OneLine(beside) +
                             ": " + whyNot + "; --overwrite replaces " + OneLine(path)});
  return QcPlan{};
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

  // The reference is named after the model, the collision model after it,
  // each sequence after its animation; the QC after the model too, with room
  // for ".qc.new".
  const std::string folder =
      request.outputPath.back() == '/' ? request.outputPath : request.outputPath + "/";
  const std::size_t room = NameRoom(folder);
  std::set<std::string> used;
  StderrWarnings& warnings = pipeline.Warnings();
  const std::string model = FileName(ModelStem(request.scenePath), "model", room - 7, "model",
                                     ".smd and .qc", &used, &warnings);
  const SceneMeasure measure = Measure(*reference, false);
  const bool withBody = measure.triangles > 0;
  const bool withCollision = withBody && request.collision != "none";
  const std::string phys = withCollision ? FileName(model + "_phys", "model_phys", room - 4,
                                                    "collision model", ".smd", &used, &warnings) +
                                               ".smd"
                                         : "";
  std::vector<Job> jobs{{folder + model + ".smd", reference.get(), false, false, ""}};
  QcContents qc;
  qc.modelName = model;
  qc.sourceFile = request.scenePath.substr(request.scenePath.find_last_of('/') + 1);
  qc.referenceFile = withBody ? model + ".smd" : "";
  qc.fps = request.load.fps;
  qc.textures = TextureNames(*reference);
  qc.surfaceProp = request.surfaceProp;
  for (std::size_t i = 0; i < animations.scenes.size(); ++i) {
    const std::string name = FileName(animations.names[i], "animation_" + std::to_string(i),
                                      room - 4, "animation", ".smd", &used, &warnings);
    jobs.push_back(Job{folder + name + ".smd", animations.scenes[i].get(), true, false, ""});
    qc.sequences.push_back(QcSequence{name, name + ".smd"});
  }
  // Parts never move without animations or a skin; with either,
  // $staticprop would merge away the bones that move them.
  const bool skinned = HasSkin(*reference);
  qc.staticProp = withBody && animations.scenes.empty() && !skinned;
  // Morph targets become a VTA beside the reference and the QC's flexes.
  const ExportOptions referenceOptions = OptionsFor(request, *reference);
  FlexList flexes;
  const bool withFlexes =
      withBody && FindFlexes(*reference, referenceOptions, &flexes) && !flexes.shapes.empty();
  const std::string vta = withFlexes ? model + ".vta" : "";

  // Every file's place is judged before the first is written.
  const std::vector<RunInput> inputs = pipeline.Inputs(*reference);
  std::vector<std::string> outputs;
  for (const Job& job : jobs) {
    status = CheckSmdPlace(job.path, inputs);
    if (status != kExitSuccess) return status;
    outputs.push_back(job.path);
  }
  if (withFlexes) {
    status = CheckSmdPlace(folder + vta, inputs);
    if (status != kExitSuccess) return status;
    outputs.push_back(folder + vta);
  }
  if (withCollision) {
    status = CheckSmdPlace(folder + phys, inputs);
    if (status != kExitSuccess) return status;
    outputs.push_back(folder + phys);
  }
  const QcPlan qcPlan = PlanQc(folder + model + ".qc", inputs, request.overwrite, &warnings);
  if (!qcPlan.path.empty()) outputs.push_back(qcPlan.path);
  for (Job& job : jobs) {
    if (!request.preview) continue;
    const std::string png = PreviewPath(job.path);
    std::string cause;
    job.preview = MayDrawPreview(png, inputs, request.overwrite, &cause);
    if (job.preview) {
      outputs.push_back(png);
    } else {
      warnings.Show(Warning{WarningKind::kFileNotReplaced, OneLine(png) + ": not drawn: " + cause});
    }
  }
  pipeline.OpenLog(inputs, outputs);

  // On a terminal, a line for each file as it is begun.
  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  int loops = 0;
  for (std::size_t k = 0; k < jobs.size(); ++k) {
    if (terminal)
      std::fprintf(stderr, "kestrelworks: %zu of %zu: %s\n", k + 1, jobs.size(),
                   OneLine(jobs[k].path).c_str());
    ExportOptions options = OptionsFor(request, *jobs[k].scene);
    options.exportSequence = jobs[k].sequence;
    status = pipeline.Write(*jobs[k].scene, options, jobs[k].path, true);
    if (status != kExitSuccess) return status;  // every temporary file goes with the pipeline
    jobs[k].temporary = pipeline.LastTemporary();
    if (jobs[k].sequence) {
      smd::File sequence;
      if (!ReadBack(jobs[k].temporary, OneLine(jobs[k].path), &sequence)) return kExitExportFailed;
      qc.sequences[k - 1].loop = PosesAgree(sequence, measure.Longest());
      loops += qc.sequences[k - 1].loop ? 1 : 0;
    }
  }

  if (withFlexes) {
    if (terminal) std::fprintf(stderr, "kestrelworks: %s\n", OneLine(folder + vta).c_str());
    status = pipeline.Write(*reference, referenceOptions, folder + vta, true, &flexes);
    if (status != kExitSuccess) return status;
    qc.flexFile = vta;
    std::string renamed;
    for (const FlexShape& shape : flexes.shapes) {
      qc.flexes.push_back(QcFlex{shape.controller, shape.frame});
      if (shape.renamed) {
        renamed += std::string(renamed.empty() ? "" : ", ") + "\"" + OneLine(shape.name) +
                   "\" as " + shape.controller;
      }
    }
    if (!renamed.empty()) {
      warnings.Show(
          Warning{WarningKind::kFlexRenamed,
                  "shape names a QC cannot take are written as flex controllers " + renamed});
    }
  }

  // What is made from the reference as written: the collision model, or the
  // bones a QC without a mesh defines.
  CollisionModel collision;
  if (withCollision || !withBody) {
    smd::File written;
    if (!ReadBack(jobs[0].temporary, OneLine(jobs[0].path), &written)) return kExitExportFailed;
    if (!withBody) qc.bones = BonesOf(written);
    if (withCollision) collision = MakeCollisionModel(written, request.collision, skinned);
  }
  if (collision.kind != CollisionModel::Kind::kNone) {
    if (terminal) std::fprintf(stderr, "kestrelworks: %s\n", OneLine(folder + phys).c_str());
    status = pipeline.Prepare(folder + phys, collision.smd, true);
    if (status != kExitSuccess) return status;
    CheckWrittenSmd(pipeline.LastTemporary(), OneLine(folder + phys), &warnings);
    const bool joints = collision.kind == CollisionModel::Kind::kRagdoll;
    qc.collision.kind = joints ? QcCollision::Kind::kJoints : QcCollision::Kind::kModel;
    qc.collision.file = phys;
    qc.collision.mass = request.mass;
    qc.collision.concave = !joints && collision.hulls > 1;
    qc.collision.rootBone = collision.rootBone;
    qc.collision.jointBones = collision.jointBones;
    qc.collision.leftOut = collision.leftOut;
  } else if (withCollision) {
    warnings.Show(Warning{WarningKind::kNoCollisionModel,
                          OneLine(folder + phys) + ": not written: " + collision.problem +
                              "; the QC has no collision model"});
  }

  status = pipeline.Judge(folder + model + ": nothing written: ");
  if (status != kExitSuccess) return status;
  if (!qcPlan.path.empty()) {
    if (terminal) std::fprintf(stderr, "kestrelworks: %s\n", OneLine(qcPlan.path).c_str());
    status = pipeline.Prepare(qcPlan.path, QcText(qc), true);
    if (status != kExitSuccess) return status;
  }
  // The pictures are drawn from the files as written, before any is in place.
  for (const Job& job : jobs) {
    if (!job.preview) continue;
    const DrawnSmd smd{job.temporary, job.path};
    const DrawnSmd referenceSmd{jobs[0].temporary, jobs[0].path};
    std::string png;
    if (!DrawPreview(smd, job.sequence ? &referenceSmd : nullptr, &png, &error)) {
      PrintFailure(error + "; nothing was replaced");
      return kExitExportFailed;
    }
    status = pipeline.Prepare(PreviewPath(job.path), png, true);
    if (status != kExitSuccess) return status;
  }
  status = pipeline.Commit();
  if (status != kExitSuccess) return status;
  if (!qcPlan.note.empty()) PrintFailure(qcPlan.note);
  if (!request.quiet) {
    std::string written = jobs[0].path;
    if (animations.scenes.size() > 0) {
      written += ", " + std::to_string(animations.scenes.size()) +
                 (animations.scenes.size() == 1 ? " sequence" : " sequences");
      if (loops > 0) written += " (" + std::to_string(loops) + " with loop)";
    }
    if (withFlexes) {
      written += ", " + vta + " (" + std::to_string(flexes.shapes.size()) +
                 (flexes.shapes.size() == 1 ? " shape)" : " shapes)");
    }
    if (collision.kind != CollisionModel::Kind::kNone) {
      written += ", " + phys + " (" + std::to_string(collision.hulls) +
                 (collision.hulls == 1 ? " hull" : " hulls");
      if (collision.parts > collision.hulls) {
        written += " from " + std::to_string(collision.parts) + " parts";
      }
      const std::size_t leftOut = collision.leftOut.size();
      if (leftOut > 0) written += "; " + std::to_string(leftOut) + " left out, listed in the QC";
      written += ")";
    }
    if (!qcPlan.path.empty()) written += ", " + qcPlan.path.substr(folder.size());
    PrintSummary(SummaryLine(written, measure, pipeline.Unit(), IsModelFile(request.scenePath)),
                 false);
  }
  return status;
}

}  // namespace kw
