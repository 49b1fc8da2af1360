// One thread that runs one job at a time for the export's thread, so that
// text can be made while the next values are read from the scene. Jobs never
// touch the scene: a host answers only the thread that called the exporter.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace kw {

class BackgroundWorker {
 public:
  BackgroundWorker();
  // Waits for the job in hand, then ends the thread.
  ~BackgroundWorker();
  BackgroundWorker(const BackgroundWorker&) = delete;
  BackgroundWorker& operator=(const BackgroundWorker&) = delete;

  // A started worker, or null when the system has no thread to give: the
  // caller then does the work itself.
  static std::unique_ptr<BackgroundWorker> StartIfPossible();

  // Starts job; the previous one must have been waited for. job must not throw.
  void Start(std::function<void()> job);
  // Returns when the job started last has finished.
  void Wait();

 private:
  void Loop();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> job_;
  bool busy_ = false;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once the rest exists
};

}  // namespace kw
