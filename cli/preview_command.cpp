#include "cli/preview_command.h"

#include <sys/stat.h>

#include <CLI/CLI.hpp>

#include <cstdio>

#include "cli/check_command.h"
#include "cli/exit_codes.h"
#include "cli/failure_line.h"
#include "cli/output_guard.h"
#include "cli/replacing_files.h"
#include "cli/stderr_warnings.h"
#include "diagnostics/warning.h"
#include "preview/preview.h"
#include "smd/smd_reader.h"
#include "smd/vta_check.h"

namespace kw {
namespace {

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Digits only, and no wider than the largest side: "4294967424" must not
// come back as 128.
bool ParseSide(const std::string& text, int* side) {
  if (text.empty() || text.size() > 6) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  *side = value;
  return true;
}

bool ParseSize(const std::string& text, int* width, int* height) {
  const std::size_t x = text.find('x');
  return x != std::string::npos && ParseSide(text.substr(0, x), width) &&
         ParseSide(text.substr(x + 1), height);
}

// The PNG goes to a temporary file renamed over the target once whole.
int WritePicture(const preview::Picture& picture, const std::string& path) {
  std::string bytes, error;
  if (!picture.EncodePng(&bytes, &error)) {
    PrintFailure(path + ": " + error);
    return kExitExportFailed;
  }
  ReplacingFiles files;
  std::unique_ptr<ByteSink> sink = files.Open(path, OutputKind::kSmd, &error);
  if (!sink) {
    PrintFailure(files.Failure().empty() ? path + ": " + error : files.Failure());
    return kExitExportFailed;
  }
  if (!sink->Write(bytes.data(), bytes.size(), &error) || !sink->Finish(&error) ||
      !files.Commit(&error)) {
    files.Discard();
    PrintFailure(error);
    return kExitExportFailed;
  }
  return kExitSuccess;
}

int Draw(const preview::Subject& subject, const preview::Options& options,
         const std::string& outputPath) {
  preview::Picture picture;
  std::string error;
  if (!preview::Render(subject, options, &picture, &error)) {
    PrintFailure(outputPath + ": " + error);
    return kExitExportFailed;
  }
  return WritePicture(picture, outputPath);
}

// A sequence on its own has no mesh to show, only its skeleton moving.
void ShowOwnFrames(preview::Subject* subject) {
  const smd::File& file = *subject->reference;
  if (file.hasTriangles || file.frames.size() < 2) return;
  subject->sequence = &file;
  subject->sequenceName = subject->referenceName;
}

}  // namespace

CLI::App* AddPreviewCommand(CLI::App& app, PreviewRequest* request) {
  CLI::App* command = app.add_subcommand(
      "preview",
      "Draw a PNG picture of an SMD: front, side, top and perspective views of the "
      "mesh and skeleton, or, with --sequence, the mesh posed by frames of an animation.");
  command->add_option("smd", request->smdPath, "Reference SMD (or any SMD) to draw")->required();
  command->add_option("-o,--output", request->outputPath, "PNG file to write")->required();
  command->add_option("--sequence", request->sequencePath,
                      "Sequence SMD whose poses skin the reference, one row of views per frame");
  command
      ->add_option("--frames", request->frames,
                   "Frames of the sequence to show, by place in the file from 0, comma-separated "
                   "(default: the first and the two whose poses differ most from it)")
      ->delimiter(',');
  command->add_option("--collision", request->collisionPath,
                      "Collision model to draw as wireframes over the reference (default: "
                      "<name>_phys.smd beside it, when there is one)");
  command->add_option("--flex", request->flexPath,
                      "VTA of the reference's flex shapes: a row of the reference, then a row "
                      "per shape fully applied");
  command
      ->add_option("--shapes", request->shapes,
                   "Shapes of the VTA to show, by their time number from 1, comma-separated "
                   "(default: the first " +
                       std::to_string(preview::kDefaultShapes) + ")")
      ->delimiter(',');
  command->add_flag("--strict", request->strict,
                    "Fail (exit 4, no picture written) if the preview raised any warning");
  command->add_option("--size", request->size,
                      "Size of the picture, WxH pixels, " + std::to_string(preview::kMinSide) +
                          " to " + std::to_string(preview::kMaxSide) +
                          " a side (default: fits the views)");
  return command;
}

int RunPreview(const PreviewRequest& request) {
  preview::Options options;
  if (!request.size.empty()) {
    if (!ParseSize(request.size, &options.width, &options.height) ||
        options.width < preview::kMinSide || options.height < preview::kMinSide ||
        options.width > preview::kMaxSide || options.height > preview::kMaxSide) {
      PrintFailure("--size: \"" + request.size + "\" is not WxH with " +
                   std::to_string(preview::kMinSide) + " to " + std::to_string(preview::kMaxSide) +
                   " pixels a side (see --help)");
      return kExitUsage;
    }
  }
  if (!request.frames.empty() && request.sequencePath.empty()) {
    PrintFailure("--frames: only with --sequence (see --help)");
    return kExitUsage;
  }
  if (!request.shapes.empty() && request.flexPath.empty()) {
    PrintFailure("--shapes: only with --flex (see --help)");
    return kExitUsage;
  }
  if (!request.flexPath.empty() && !request.sequencePath.empty()) {
    PrintFailure("--flex: not with --sequence; draw them in two pictures (see --help)");
    return kExitUsage;
  }
  if (request.outputPath.empty()) {
    PrintFailure("--output: the file name is empty (see --help)");
    return kExitUsage;
  }
  if (request.smdPath.empty()) {
    PrintFailure("preview: the SMD's file name is empty (see --help)");
    return kExitUsage;
  }
  std::string cause;
  if (!CheckNotAnInput(request.outputPath,
                       {{request.smdPath, "the SMD being drawn"},
                        {request.sequencePath, "the sequence being drawn"},
                        {request.flexPath, "the shapes being drawn"},
                        {request.collisionPath, "the collision model being drawn"}},
                       &cause)) {
    PrintFailure(request.outputPath + ": " + cause + "; name another output file");
    return kExitUsage;
  }

  smd::File reference, sequence, flex;
  std::string error;
  if (!CheckSmdInput(request.smdPath, &error) ||
      (!request.sequencePath.empty() && !CheckSmdInput(request.sequencePath, &error)) ||
      (!request.flexPath.empty() && !CheckSmdInput(request.flexPath, &error))) {
    PrintFailure(error);
    return kExitSceneUnreadable;
  }
  if (!smd::ReadSmd(request.smdPath, &reference, &error)) {
    PrintFailure(error);
    return kExitSceneUnreadable;
  }
  preview::Subject subject;
  subject.reference = &reference;
  subject.referenceName = BaseName(request.smdPath);
  if (!request.flexPath.empty()) {
    if (!smd::ReadSmd(request.flexPath, &flex, &error)) {
      PrintFailure(error);
      return kExitSceneUnreadable;
    }
    if (!flex.hasVertexAnimation) {
      PrintFailure(request.flexPath + ": not a VTA file (it has no \"vertexanimation\" section)");
      return kExitSceneUnreadable;
    }
    subject.flex = &flex;
    subject.flexName = BaseName(request.flexPath);
    std::vector<int> places;
    if (!preview::ChooseShapes(flex, request.shapes, &places, &error)) {
      PrintFailure("--shapes: " + request.flexPath + ": " + error);
      return kExitUsage;
    }
    options.shapes = request.shapes;
  } else if (request.sequencePath.empty()) {
    ShowOwnFrames(&subject);
  } else {
    if (!smd::ReadSmd(request.sequencePath, &sequence, &error)) {
      PrintFailure(error);
      return kExitSceneUnreadable;
    }
    subject.sequence = &sequence;
    subject.sequenceName = BaseName(request.sequencePath);
    std::vector<int> frames;
    if (!preview::ChooseFrames(sequence, request.frames, &frames, &error)) {
      PrintFailure("--frames: " + request.sequencePath + ": " + error);
      return kExitUsage;
    }
    options.frames = frames;
  }
  // The hulls of export --all beside the reference, or those named.
  smd::File collision;
  std::string collisionPath = request.collisionPath;
  if (collisionPath.empty() && request.sequencePath.empty() && request.flexPath.empty()) {
    std::string stem = request.smdPath;
    const std::size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos && stem.find('/', dot) == std::string::npos) stem.resize(dot);
    struct stat beside {};
    if (stem.size() < 5 || stem.compare(stem.size() - 5, 5, "_phys") != 0) {
      if (::stat((stem + "_phys.smd").c_str(), &beside) == 0 && S_ISREG(beside.st_mode)) {
        collisionPath = stem + "_phys.smd";
      }
    }
  }
  if (!collisionPath.empty()) {
    if (!CheckSmdInput(collisionPath, &error) || !smd::ReadSmd(collisionPath, &collision, &error)) {
      PrintFailure(error);
      return kExitSceneUnreadable;
    }
    subject.collision = &collision;
  }
  if (!preview::CheckRequest(subject, options, &error)) {
    PrintFailure(error + " (see --help)");
    return kExitUsage;
  }
  StderrWarnings warnings;
  if (!request.sequencePath.empty() && !preview::SharesNodeNames(reference, sequence)) {
    warnings.Show(Warning{WarningKind::kNoSharedNodes,
                          OneLine(request.sequencePath) + ": no node has the name of a node of " +
                              OneLine(request.smdPath) +
                              ", so the picture shows the reference unmoved"});
  }
  if (!request.flexPath.empty()) {
    // What the check finds in the VTA the picture may show wrongly or not at all.
    for (const smd::VtaFinding& finding : smd::CheckVta(flex, reference.triangles.size() * 3)) {
      warnings.Show(Warning{finding.kind, OneLine(request.flexPath) + ": " + finding.message});
    }
  }
  if (request.strict && warnings.Count() > 0) {
    PrintFailure("--strict: the preview raised a warning; " + OneLine(request.outputPath) +
                 " was not written");
    return kExitStrictWarnings;
  }
  return Draw(subject, options, request.outputPath);
}

int PreviewExport(const std::string& smdPath, const std::string& referencePath) {
  std::string pngPath = smdPath;
  const std::size_t dot = pngPath.find_last_of('.');
  if (dot != std::string::npos && pngPath.find('/', dot) == std::string::npos) pngPath.resize(dot);
  pngPath += ".png";

  smd::File file, reference;
  std::string error;
  if (!smd::ReadSmd(smdPath, &file, &error) ||
      (!referencePath.empty() && !smd::ReadSmd(referencePath, &reference, &error))) {
    PrintFailure(error);
    return kExitExportFailed;
  }
  preview::Subject subject;
  subject.reference = &file;
  subject.referenceName = BaseName(smdPath);
  if (!referencePath.empty()) {
    subject.reference = &reference;
    subject.referenceName = BaseName(referencePath);
    subject.sequence = &file;
    subject.sequenceName = BaseName(smdPath);
  } else {
    ShowOwnFrames(&subject);
  }
  return Draw(subject, preview::Options(), pngPath);
}

}  // namespace kw
