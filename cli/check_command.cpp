#include "cli/check_command.h"

#include <cstdio>

#include "cli/exit_codes.h"
#include "cli/failure_line.h"
#include "core/kestrelworks.h"
#include "smd/limit_check.h"
#include "smd/smd_reader.h"

namespace kw {

int RunCheck(const std::vector<std::string>& paths) {
  int status = kExitSuccess;
  kw::smd::File file;
  for (const std::string& path : paths) {
    std::string error;
    if (!kw::smd::ReadSmd(path, &file, &error)) {
      std::fflush(stdout);
      PrintFailure(error);
      status = kExitSceneUnreadable;
      continue;
    }
    const std::string name = OneLine(path);
    const std::vector<kw::smd::Finding> findings = kw::smd::CheckLimits(file);
    for (const kw::smd::Finding& finding : findings) {
      std::printf("%s: %s: %s\n", name.c_str(),
                  kw::WarningKindName(kw::smd::LimitOf(finding.limit).kind),
                  finding.message.c_str());
    }
    if (findings.empty()) {
      std::printf("%s: clean (%zu nodes, %zu frames, %zu triangles, %zu materials)\n", name.c_str(),
                  file.nodes.size(), file.frames.size(), file.triangles.size(),
                  file.materials.size());
    } else if (status == kExitSuccess) {
      status = kExitStrictWarnings;
    }
  }
  std::fflush(stdout);
  return status;
}

void CheckWrittenSmd(const std::string& path, const std::string& shownName,
                     WarningPresenter* warnings) {
  kw::smd::File file;
  std::string error;
  if (!kw::smd::ReadSmd(path, &file, &error)) {
    warnings->Show(kw::Warning{kw::WarningKind::kUnparsedLine,
                               shownName + ": does not read back as an SMD: " + error});
    return;
  }
  for (const kw::smd::Finding& finding : kw::smd::CheckLimits(file)) {
    warnings->Show(
        kw::Warning{kw::smd::LimitOf(finding.limit).kind, shownName + ": " + finding.message});
  }
}

}  // namespace kw
