#include "cli/exit_cleanup.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>

#include "cli/exit_codes.h"

namespace kw {
namespace {

// Blocks of fixed slots, so that a signal handler can walk them without
// locks or allocation; a block is added when all are taken (export --all
// holds one SMD per animation until all are whole) and never freed.
constexpr int kSlotsPerBlock = 64;
struct Slot {
  std::atomic<bool> used{false};
  char path[PATH_MAX + 1];
};
struct Block {
  Slot slots[kSlotsPerBlock];
  std::atomic<Block*> next{nullptr};
};
Block g_first;
std::mutex g_adding;
std::atomic<int> g_failureStatus{kExitExportFailed};
char g_outOfMemoryLine[1024] = "kestrelworks: not enough memory\n";
char g_stoppedNote[256] = "; no file was replaced\n";
int g_reportFd = -1;

void Report(char sign, const std::string& path) {
  if (g_reportFd < 0) return;
  std::string line = sign + path + "\n";
  const char* data = line.data();
  std::size_t left = line.size();
  while (left > 0) {
    const ssize_t written = ::write(g_reportFd, data, left);
    if (written <= 0) return;
    data += written;
    left -= static_cast<std::size_t>(written);
  }
}

void WriteAll(const char* text) {
  std::size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t written = ::write(STDERR_FILENO, text, left);
    if (written <= 0) return;
    text += written;
    left -= static_cast<std::size_t>(written);
  }
}

void OnSignal(int signal) {
  RemoveTemporaryFiles();
  char line[64 + sizeof g_stoppedNote];
  // snprintf is not async-signal-safe; the digits are put in by hand.
  std::strcpy(line, "kestrelworks: stopped by signal ");
  char* end = line + std::strlen(line);
  if (signal >= 10) *end++ = static_cast<char>('0' + signal / 10);
  *end++ = static_cast<char>('0' + signal % 10);
  std::strcpy(end, g_stoppedNote);
  WriteAll(line);
  ::_exit(128 + signal);
}

[[noreturn]] void OnTerminate() {
  RemoveTemporaryFiles();
  const char* line = "kestrelworks: internal error: the export was stopped; no file was replaced\n";
  if (std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const std::bad_alloc&) {
      line = g_outOfMemoryLine;
    } catch (...) {
    }
  }
  WriteAll(line);
  ::_exit(g_failureStatus.load());
}

}  // namespace

void InstallExitCleanup() {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous {};
    if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // One handler at a time: the first signal decides the exit status.
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaddset(&action.sa_mask, SIGHUP);
    ::sigaction(signal, &action, nullptr);
  }
  std::set_terminate(OnTerminate);
}

void AddTemporaryFile(const std::string& path) {
  if (path.size() > PATH_MAX) return;
  const std::lock_guard<std::mutex> lock(g_adding);
  Block* block = &g_first;
  while (true) {
    for (Slot& slot : block->slots) {
      if (slot.used.load()) continue;
      std::memcpy(slot.path, path.c_str(), path.size() + 1);
      slot.used.store(true);
      Report('+', path);
      return;
    }
    Block* next = block->next.load();
    if (!next) {
      next = new Block;
      block->next.store(next);
    }
    block = next;
  }
}

void ForgetTemporaryFile(const std::string& path) {
  for (Block* block = &g_first; block; block = block->next.load()) {
    for (Slot& slot : block->slots) {
      if (slot.used.load() && path == slot.path) {
        slot.used.store(false);
        Report('-', path);
        return;
      }
    }
  }
}

void RemoveTemporaryFiles() {
  for (Block* block = &g_first; block; block = block->next.load()) {
    for (Slot& slot : block->slots) {
      if (slot.used.exchange(false)) ::unlink(slot.path);
    }
  }
}

void SetUncaughtFailure(int status, const std::string& outOfMemoryLine) {
  g_failureStatus.store(status);
  std::snprintf(g_outOfMemoryLine, sizeof g_outOfMemoryLine, "kestrelworks: %s\n",
                outOfMemoryLine.c_str());
}

void SetStoppedNote(const std::string& note) {
  std::snprintf(g_stoppedNote, sizeof g_stoppedNote, "; %s\n", note.c_str());
}

void ReportTemporaryFilesTo(int fd) { g_reportFd = fd; }

}  // namespace kw
