#include "cli/import_deadline.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "cli/exit_codes.h"

namespace kw {

namespace {

// Written from the signal handler, so prepared beforehand.
char g_message[4096];
std::size_t g_length = 0;

void OnDeadline(int) {
  ssize_t ignored = ::write(STDERR_FILENO, g_message, g_length);
  (void)ignored;
  ::_exit(kExitSceneUnreadable);
}

}  // namespace

unsigned ImportDeadline::DefaultSeconds(std::uintmax_t fileBytes) {
  const std::uintmax_t seconds = 60 + fileBytes / (64 * 1024);
  return static_cast<unsigned>(std::min<std::uintmax_t>(seconds, 1u << 30));
}

ImportDeadline::ImportDeadline(const std::string& path, double seconds) {
  unsigned limit = 0;
  if (seconds < 0) {
    std::error_code ignored;
    const std::uintmax_t size = std::filesystem::file_size(path, ignored);
    limit = DefaultSeconds(ignored ? 0 : size);
  } else if (seconds > 0) {
    limit = static_cast<unsigned>(std::min(std::ceil(seconds), 1073741824.0));
  }
  if (limit == 0) return;
  const int written = std::snprintf(
      g_message, sizeof g_message,
      "kestrelworks: %s: the importer did not finish in %u seconds; the file may be damaged "
      "(--import-timeout sets the limit)\n",
      path.c_str(), limit);
  g_length = written < 0 ? 0 : std::min(static_cast<std::size_t>(written), sizeof g_message - 1);
  if (g_length > 0 && g_message[g_length - 1] != '\n') g_message[g_length - 1] = '\n';
  struct sigaction action {};
  action.sa_handler = OnDeadline;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGALRM, &action, nullptr);
  ::alarm(limit);
  armed_ = true;
}

ImportDeadline::~ImportDeadline() {
  if (armed_) ::alarm(0);
}

}  // namespace kw
