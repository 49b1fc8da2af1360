#include "cli/check_command.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "cli/exit_codes.h"
#include "cli/failure_line.h"
#include "cli/replacing_files.h"
#include "diagnostics/outputs.h"
#include "diagnostics/warning.h"
#include "smd/limit_check.h"
#include "smd/printable_text.h"
#include "smd/smd_reader.h"
#include "smd/stream_check.h"
#include "smd/vta_check.h"

namespace kw {

namespace {

// Our own files are judged as they stream past, in a fraction of a
// read-back; false when the text is not one the stream check judges. Only a
// regular file: a pipe could not be read again when the check declines.
bool StreamTally(const std::string& path, smd::Tally* tally) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
  if (!stream) return false;
  smd::StreamCheck check;
  std::vector<char> buffer(std::size_t{1} << 20);
  for (;;) {
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), stream.get());
    if (got == 0) break;
    check.Feed(buffer.data(), got);
    if (!check.Declined().empty()) return false;
  }
  return !std::ferror(stream.get()) && check.Finish(tally);
}

bool HasVtaExtension(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == "vta";
}

// The tally of the file at path, streamed or else read back; false with
// *error when it does not read as an SMD. A VTA (by its extension or its
// vertexanimation section) is read back whole, *vta set, for its own check.
bool TallyFile(const std::string& path, smd::Tally* tally, smd::File* vta, bool* isVta,
               std::string* error) {
  const bool named = HasVtaExtension(path);
  if (!named && StreamTally(path, tally)) return true;
  smd::File file;
  if (!smd::ReadSmd(path, &file, error)) return false;
  *tally = smd::TallyOf(file);
  *isVta = named || file.hasVertexAnimation;
  if (*isVta) *vta = std::move(file);
  return true;
}

}  // namespace

bool CheckSmdInput(const std::string& path, std::string* error) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode) || S_ISDIR(status.st_mode))
    return true;  // the reader says what is wrong with a missing file or a folder
  *error =
      path + ": it is " + FileTypeName(status.st_mode) + ", not a regular file; give an SMD file";
  return false;
}

int RunCheck(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (path.empty()) {
      PrintFailure("check: a file name is empty (see --help)");
      return kExitUsage;
    }
  }
  int status = kExitSuccess;
  // A VTA's vertex numbers are checked against the last reference before it.
  std::size_t referenceVertices = smd::kUnknownVertexCount;
  for (const std::string& path : paths) {
    std::string error;
    smd::Tally tally;
    smd::File vta;
    bool isVta = false;
    if (!CheckSmdInput(path, &error) || !TallyFile(path, &tally, &vta, &isVta, &error)) {
      std::fflush(stdout);
      PrintFailure(error);
      status = kExitSceneUnreadable;
      continue;
    }
    const std::string name = smd::PrintableText(path);
    std::size_t count = 0;
    for (const smd::Finding& finding : smd::Findings(tally)) {
      // A VTA's skeleton may give times without poses: the reference's stand.
      if (isVta && finding.limit == smd::Limit::kIncompleteFrame) continue;
      std::printf("%s: %s: %s\n", name.c_str(), WarningKindName(smd::LimitOf(finding.limit).kind),
                  finding.message.c_str());
      ++count;
    }
    if (isVta) {
      for (const smd::VtaFinding& finding : smd::CheckVta(vta, referenceVertices)) {
        std::printf("%s: %s: %s\n", name.c_str(), WarningKindName(finding.kind),
                    finding.message.c_str());
        ++count;
      }
    } else if (tally.reference) {
      referenceVertices = tally.triangles * 3;
    }
    if (count == 0 && isVta) {
      std::printf("%s: clean (%zu nodes, %zu shapes, %zu vertex lines%s)\n", name.c_str(),
                  tally.nodes.size(),
                  vta.shapeFrames.empty() ? std::size_t{0} : vta.shapeFrames.size() - 1,
                  vta.shapeVertices.size(),
                  referenceVertices == smd::kUnknownVertexCount ? "; no reference given" : "");
    } else if (count == 0) {
      const std::size_t unused = tally.reference ? tally.nodes.size() - smd::NodesInUse(tally) : 0;
      std::printf("%s: clean (%zu nodes%s, %zu frames, %zu triangles, %zu materials)\n",
                  name.c_str(), tally.nodes.size(),
                  unused > 0 ? (" (" + std::to_string(unused) + " unused)").c_str() : "",
                  tally.frames, tally.triangles, tally.materials.size());
    } else if (status == kExitSuccess) {
      status = kExitStrictWarnings;
    }
    // A report that does not arrive is a failure, not a clean file.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      PrintFailure(std::string("stdout: the report cannot be written: ") + std::strerror(errno));
      return kExitExportFailed;
    }
  }
  return status;
}

void CheckWrittenSmd(const std::string& path, const std::string& shownName,
                     WarningPresenter* warnings, smd::StreamCheck* written) {
  smd::Tally tally;
  if (!written || !written->Finish(&tally)) {
    // What went to stdout cannot be read back.
    if (path.empty()) return;
    smd::File file;
    std::string error;
    if (!smd::ReadSmd(path, &file, &error)) {
      warnings->Show(Warning{WarningKind::kUnparsedLine,
                             shownName + ": does not read back as an SMD: " + error});
      return;
    }
    tally = smd::TallyOf(file);
  }
  for (const smd::Finding& finding : smd::Findings(tally)) {
    warnings->Show(Warning{smd::LimitOf(finding.limit).kind, shownName + ": " + finding.message});
  }
}

}  // namespace kw
