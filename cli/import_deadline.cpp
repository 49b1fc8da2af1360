#include "cli/import_deadline.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "cli/exit_codes.h"
#include "cli/failure_line.h"

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
  const std::uintmax_t seconds = 5 + fileBytes / (64 * 1024);
  return static_cast<unsigned>(std::min<std::uintmax_t>(seconds, 1u << 30));
}

std::uintmax_t ImportDeadline::ModelBytes(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code failed;
  const fs::path model(path);
  std::uintmax_t bytes = fs::file_size(model, failed);
  if (failed) return 0;
  // What else the import may read lies beside it, mostly under its name
  // (CesiumMilkTruck.gltf and .bin, Box.gltf and Box0.bin, a.md5mesh and
  // a.md5anim); a look at a bounded number of names keeps this prompt.
  const std::string stem = model.stem().string();
  const fs::path folder = model.has_parent_path() ? model.parent_path() : fs::path(".");
  int looked = 0;
  for (fs::directory_iterator entry(folder, failed), end; !failed && entry != end && looked < 10000;
       entry.increment(failed), ++looked) {
    const std::string name = entry->path().filename().string();
    if (name.compare(0, stem.size(), stem) != 0 || name == model.filename().string()) continue;
    std::error_code ignored;
    if (!entry->is_regular_file(ignored)) continue;
    const std::uintmax_t size = entry->file_size(ignored);
    if (!ignored) bytes += size;
  }
  return bytes;
}

ImportDeadline::ImportDeadline(const std::string& path, double seconds) {
  unsigned limit = 0;
  if (seconds < 0) {
    limit = DefaultSeconds(ModelBytes(path));
  } else if (seconds > 0) {
    limit = static_cast<unsigned>(std::min(std::ceil(seconds), 1073741824.0));
  }
  if (limit == 0) return;
  const int written = std::snprintf(
      g_message, sizeof g_message,
      "kestrelworks: %s: the importer did not finish in %u seconds; the file may be damaged "
      "(--import-timeout sets the limit)\n",
      OneLine(path).c_str(), limit);
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
