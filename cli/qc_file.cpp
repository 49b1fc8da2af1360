#include "cli/qc_file.h"

#include <cstdio>

namespace kw {
namespace {

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

std::string QcText(const QcContents& qc) {
  std::string text;
  text += "// " + qc.modelName + ": a starter QC for studiomdl, written by kestrelworks from " +
          qc.sourceFile + ".\n";
  text += "// It compiles the SMD files beside it. studiomdl looks for each texture below as\n";
  text += "// materials/models/" + qc.modelName +
          "/<name without extension>.vmt; make those materials before you compile:\n";
  for (const std::string& texture : qc.textures) text += "//   " + texture + "\n";
  text += "\n";
  text += "$modelname \"" + qc.modelName + ".mdl\"\n";
  text += "$cdmaterials \"models/" + qc.modelName + "/\"\n";
  text += "$body \"" + qc.modelName + "\" \"" + qc.referenceFile + "\"\n";
  text += "\n";
  if (qc.sequences.empty()) {
    // studiomdl wants a sequence; without animations the reference stands still.
    text += "$sequence \"idle\" \"" + qc.referenceFile + "\" fps " + Number(qc.fps) + "\n";
  }
  for (const QcSequence& sequence : qc.sequences) {
    text += "$sequence \"" + sequence.name + "\" \"" + sequence.file + "\" fps " + Number(qc.fps) +
            "\n";
  }
  return text;
}

}  // namespace kw
