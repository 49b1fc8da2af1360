// A starter QC for studiomdl: compiles exactly the SMD files export --all
// writes beside it, and lists in comments the textures the reference expects.
// Its first line is the tool's mark, a fingerprint of the rest: a QC that no
// longer matches it was edited, and is the user's work from then on.
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

// The QC, marked. Names from the model file are escaped where they stand in
// comments, so that none ends its line.
std::string QcText(const QcContents& qc);

enum class QcState {
  kOurs,    // marked, and unchanged since
  kEdited,  // marked, changed since
  kOther,   // not a QC of ours
};

QcState JudgeQc(const std::string& text);

}  // namespace kw
