// A starter QC for studiomdl: compiles exactly the SMD files export --all
// writes beside it, says once at the top what each line it holds is for, and
// lists in comments the textures the reference expects.
// Its first line is the tool's mark, a fingerprint of the rest: a QC that no
// longer matches it was edited, and is the user's work from then on.
#pragma once

#include <string>
#include <vector>

namespace kw {

struct QcSequence {
  std::string name;   // the sequence's name in the model
  std::string file;   // its SMD, beside the QC
  bool loop = false;  // its first and last poses agree (cli/loop_check.h)
};

// A bone of the reference skeleton for $definebone: a model without a mesh
// keeps only the bones the QC defines.
struct QcBone {
  std::string name;
  std::string parent;  // empty for a root
  float position[3] = {0, 0, 0};
  float rotation[3] = {0, 0, 0};  // radians about X, Y, Z, as in the SMD
};

struct QcCollision {
  enum class Kind { kNone, kModel, kJoints };
  Kind kind = Kind::kNone;
  std::string file;                     // <model>_phys.smd, beside the QC
  double mass = 0;                      // kilograms; 0: $automass
  bool concave = false;                 // several pieces of one prop
  std::string rootBone;                 // kJoints
  std::vector<std::string> jointBones;  // kJoints: a $jointconstrain per axis each
  std::vector<std::string> leftOut;     // kJoints: bones without a hull, and why
};

// A shape of the VTA: its flex controller and its frame there.
struct QcFlex {
  std::string controller;  // letters, digits and '_'
  int frame = 0;
};

struct QcContents {
  std::string modelName;      // the model's file-safe name
  std::string sourceFile;     // the model file it came from, for the header
  std::string referenceFile;  // the reference SMD, beside the QC; empty: no triangles
  std::vector<QcSequence> sequences;
  double fps = 30.0;
  std::vector<std::string> textures;  // as the reference names them, in order of first use
  std::string surfaceProp = "default";
  bool staticProp = false;
  std::vector<QcBone> bones;  // without a reference: the skeleton to define
  QcCollision collision;
  std::string flexFile;  // the VTA beside the QC; empty: no flexes, a plain $body
  std::vector<QcFlex> flexes;
};

// The free range a $jointconstrain is written with, in degrees either way.
constexpr int kFreeJointDegrees = 180;

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
