#include "cli/qc_file.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>

#include "cli/failure_line.h"
#include "cli/loop_check.h"

namespace kw {
namespace {

constexpr char kMark[] = "// kestrelworks fingerprint ";
constexpr std::size_t kMarkSize = sizeof kMark - 1;
constexpr std::size_t kDigits = 16;

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// FNV-1a: enough to tell an edit from none; nothing here is secret.
std::string Fingerprint(const std::string& text, std::size_t from) {
  std::uint64_t hash = 14695981039346656037ull;
  for (std::size_t i = from; i < text.size(); ++i) {
    hash ^= static_cast<unsigned char>(text[i]);
    hash *= 1099511628211ull;
  }
  char digits[kDigits + 1];
  std::snprintf(digits, sizeof digits, "%016" PRIx64, hash);
  return digits;
}

}  // namespace

std::string QcText(const QcContents& qc) {
  const bool body = !qc.referenceFile.empty();
  const QcCollision& collision = qc.collision;
  const bool joints = collision.kind == QcCollision::Kind::kJoints;
  const bool model = collision.kind == QcCollision::Kind::kModel;
  bool loops = false;
  for (const QcSequence& sequence : qc.sequences) loops = loops || sequence.loop;

  std::string text;
  text += "// " + qc.modelName + ": a starter QC for studiomdl, written by kestrelworks from " +
          OneLine(qc.sourceFile) + ".\n";
  text += "// It compiles the SMD files beside it. What each line below is for, and what to\n";
  text += "// change (kestrelworks' docs/qc.md tells where each figure comes from):\n";
  // One entry per command, its words wrapped under the column they start in.
  auto explain = [&text](bool present, const char* command, const std::string& why) {
    if (!present) return;
    constexpr std::size_t kWidth = 100;
    char head[32];
    std::snprintf(head, sizeof head, "//   %-18s", command);
    std::string line = head;
    const std::size_t indent = line.size();
    std::size_t at = 0;
    while (at < why.size()) {
      std::size_t end = why.find(' ', at);
      if (end == std::string::npos) end = why.size();
      const std::string word = why.substr(at, end - at);
      if (line.size() > indent && line.size() + 1 + word.size() > kWidth) {
        text += line + "\n";
        line = "//" + std::string(indent - 2, ' ');
      }
      if (line.size() > indent) line += ' ';
      line += word;
      at = end + 1;
    }
    text += line + "\n";
  };
  explain(true, "$modelname", "where the compiled model goes, below the game's models/ folder");
  explain(body, "$cdmaterials",
          "the folder below materials/ where studiomdl finds the textures' .vmt files");
  explain(body, "$surfaceprop",
          "what the model is made of, for its sounds and impacts (--surfaceprop)");
  explain(qc.staticProp, "$staticprop",
          "a prop whose parts never move: its bones are merged into one");
  const bool flexes = body && !qc.flexes.empty();
  explain(body && !flexes, "$body", "the reference mesh");
  explain(flexes, "$model",
          "the reference mesh with its shapes: flexfile names the VTA and the frame of each "
          "shape, flexcontroller the slider (0 to 1) that drives it, and each % line what the "
          "slider sets");
  explain(!qc.bones.empty(), "$definebone",
          "a bone: parent, position, then angles in degrees about Y, Z, X; a model without "
          "a mesh keeps only the bones defined here");
  explain(qc.sequences.empty(), "$sequence",
          "the reference standing still, as studiomdl wants a sequence; frames per second "
          "(--fps)");
  explain(!qc.sequences.empty(), "$sequence",
          std::string("an animation: its SMD and frames per second (--fps)") +
              (loops ? "; \"loop\" where its first and last poses agree (every bone within " +
                           Number(kLoopRadians) + " rad and " + Number(100 * kLoopPositionShare) +
                           "% of the model's size), so that it plays round"
                     : ""));
  explain(model, "$collisionmodel",
          "the prop's collision model in " + collision.file + ": convex hulls of its mesh");
  explain(joints, "$collisionjoints",
          "the ragdoll in " + collision.file + ": one convex hull per bone");
  explain(collision.kind != QcCollision::Kind::kNone && collision.mass > 0, "$mass",
          "its weight in kilograms (--mass)");
  explain(collision.kind != QcCollision::Kind::kNone && !(collision.mass > 0), "$automass",
          "its weight worked out from its volume (--mass gives one instead)");
  explain(collision.concave, "$concave",
          "it is made of several convex pieces, one per part of the mesh");
  explain(joints, "$rootbone", "the bone the ragdoll hangs from");
  explain(joints && !collision.jointBones.empty(), "$jointconstrain",
          "how far a bone turns about an axis, in degrees, and its friction: -" +
              std::to_string(kFreeJointDegrees) + " " + std::to_string(kFreeJointDegrees) +
              " lets it turn freely; tighten each to the joint's range");
  if (body) {
    text += "// studiomdl looks for each texture below as materials/models/" + qc.modelName +
            "/<name without extension>.vmt;\n// make those materials before you compile:\n";
    for (const std::string& texture : qc.textures) text += "//   " + OneLine(texture) + "\n";
  }
  text += "\n";
  text += "$modelname \"" + qc.modelName + ".mdl\"\n";
  if (body) {
    text += "$cdmaterials \"models/" + qc.modelName + "/\"\n";
    text += "$surfaceprop \"" + qc.surfaceProp + "\"\n";
    if (qc.staticProp) text += "$staticprop\n";
    if (!flexes) {
      text += "$body \"" + qc.modelName + "\" \"" + qc.referenceFile + "\"\n";
    } else {
      text += "$model \"body\" \"" + qc.referenceFile + "\" {\n";
      text += "  flexfile \"" + qc.flexFile + "\" {\n    defaultflex frame 0\n";
      for (const QcFlex& flex : qc.flexes) {
        text += "    flex \"" + flex.controller + "\" frame " + std::to_string(flex.frame) + "\n";
      }
      text += "  }\n";
      for (const QcFlex& flex : qc.flexes) {
        text += "  flexcontroller shapes range 0 1 \"" + flex.controller + "\"\n";
      }
      for (const QcFlex& flex : qc.flexes) {
        text += "  %" + flex.controller + " = " + flex.controller + "\n";
      }
      text += "}\n";
    }
  }
  for (const QcBone& bone : qc.bones) {
    constexpr double kDegrees = 57.29577951308232;
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, "%f %f %f %f %f %f", bone.position[0] + 0.0,
                  bone.position[1] + 0.0, bone.position[2] + 0.0, bone.rotation[1] * kDegrees + 0.0,
                  bone.rotation[2] * kDegrees + 0.0, bone.rotation[0] * kDegrees + 0.0);
    text +=
        "$definebone \"" + bone.name + "\" \"" + bone.parent + "\" " + numbers + " 0 0 0 0 0 0\n";
  }
  text += "\n";
  if (qc.sequences.empty()) {
    // studiomdl wants a sequence; without animations the reference stands still.
    text += "$sequence \"idle\" \"" + qc.referenceFile + "\" fps " + Number(qc.fps) + "\n";
  }
  for (const QcSequence& sequence : qc.sequences) {
    text += "$sequence \"" + sequence.name + "\" \"" + sequence.file + "\" fps " + Number(qc.fps) +
            (sequence.loop ? " loop" : "") + "\n";
  }
  if (collision.kind != QcCollision::Kind::kNone) {
    text += "\n";
    if (!collision.leftOut.empty()) {
      text += "// Bones left out of the ragdoll, without a hull:\n";
      for (const std::string& line : collision.leftOut) text += "//   " + OneLine(line) + "\n";
    }
    text += std::string(joints ? "$collisionjoints" : "$collisionmodel") + " \"" + collision.file +
            "\"\n{\n";
    text += collision.mass > 0 ? "\t$mass " + Number(collision.mass) + "\n" : "\t$automass\n";
    if (collision.concave) text += "\t$concave\n";
    if (joints) {
      text += "\t$rootbone \"" + collision.rootBone + "\"\n";
      const std::string range = " limit -" + std::to_string(kFreeJointDegrees) + " " +
                                std::to_string(kFreeJointDegrees) + " 0\n";
      for (const std::string& bone : collision.jointBones) {
        for (const char* axis : {"x", "y", "z"}) {
          text += "\t$jointconstrain \"" + bone + "\" " + axis + range;
        }
      }
    }
    text += "}\n";
  }
  return kMark + Fingerprint(text, 0) +
         ": export --all replaces this file until it is edited, then writes beside it\n" + text;
}

QcState JudgeQc(const std::string& text) {
  const std::size_t end = text.find('\n');
  if (text.compare(0, kMarkSize, kMark) != 0 || end == std::string::npos ||
      end < kMarkSize + kDigits) {
    return QcState::kOther;
  }
  return text.compare(kMarkSize, kDigits, Fingerprint(text, end + 1)) == 0 ? QcState::kOurs
                                                                           : QcState::kEdited;
}

}  // namespace kw
