#include "cli/qc_file.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>

#include "cli/failure_line.h"

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
  std::string text;
  text += "// " + qc.modelName + ": a starter QC for studiomdl, written by kestrelworks from " +
          OneLine(qc.sourceFile) + ".\n";
  text += "// It compiles the SMD files beside it. studiomdl looks for each texture below as\n";
  text += "// materials/models/" + qc.modelName +
          "/<name without extension>.vmt; make those materials before you compile:\n";
  for (const std::string& texture : qc.textures) text += "//   " + OneLine(texture) + "\n";
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
