// A starter QC for studiomdl: compiles exactly the SMD files export --all
// writes beside it, and lists in comments the textures the reference expects.
#pragma once

#include <string>
#include <vector>

namespace kw {

struct QcSequence {
  std::string name;  // the sequence's name in the model
  std::string file;  // its SMD, beside the QC
};

struct QcContents {
  std::string modelName;      // the model's file-safe name
  std::string sourceFile;     // the model file it came from, for the header
  std::string referenceFile;  // the reference SMD, beside the QC
  std::vector<QcSequence> sequences;
  double fps = 30.0;
  std::vector<std::string> textures;  // as the reference names them, in order of first use
};

std::string QcText(const QcContents& qc);

}  // namespace kw
