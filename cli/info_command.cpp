#include "cli/info_command.h"

#include <cstdio>

#include "cli/exit_codes.h"

int RunInfo(const std::string& path, const SceneLoadOptions& options) {
  std::string error;
  if (!LoadScene(path, options, &error)) {
    std::fprintf(stderr, "kestrelworks: %s\n", error.c_str());
    return kExitSceneUnreadable;
  }
  std::fprintf(stderr, "kestrelworks: info is not available yet\n");
  return kExitUsage;
}
