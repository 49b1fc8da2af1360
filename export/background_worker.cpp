#include "export/background_worker.h"

#include <system_error>
#include <utility>

namespace kw {

BackgroundWorker::BackgroundWorker() : thread_([this] { Loop(); }) {}

BackgroundWorker::~BackgroundWorker() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

std::unique_ptr<BackgroundWorker> BackgroundWorker::StartIfPossible() {
  try {
    return std::make_unique<BackgroundWorker>();
  } catch (const std::system_error&) {
    return nullptr;
  }
}

void BackgroundWorker::Start(std::function<void()> job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job_ = std::move(job);
    busy_ = true;
  }
  changed_.notify_all();
}

void BackgroundWorker::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
}

void BackgroundWorker::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    changed_.wait(lock, [this] { return busy_ || stopping_; });
    if (busy_) {
      std::function<void()> job = std::move(job_);
      lock.unlock();
      job();
      lock.lock();
      busy_ = false;
      changed_.notify_all();
    } else {
      return;
    }
  }
}

}  // namespace kw
