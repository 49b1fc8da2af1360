// Batches of values on their way to the stream as text, made in parts that
// either thread may take. The worker starts on a batch while the export's
// thread gathers the next from the scene; with that one gathered, the
// export's thread takes parts of the batch in hand before it waits, so both
// cores share the arithmetic when the text is the slower half. Without a
// worker each batch is made and written as it fills. Only one thread writes,
// parts in order, and the scene is never asked for anything off the export's
// thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "export/background_worker.h"
#include "smd/text_output.h"

namespace kw {

// Batch: Empty(), Clear(), Parts(), PartBound(i), the room part i's text may
// need, and WritePart(i, out), which writes it and returns its length. Parts
// of one batch are independent: two threads may write two at once. Batches
// are made one after the other, so a batch of one part may keep state from
// batch to batch.
template <typename Batch>
class BatchPipeline {
 public:
  BatchPipeline(TextStream& out, BackgroundWorker* worker, Batch first, Batch second)
      : out_(out), worker_(worker), batches_{std::move(first), std::move(second)} {}
  // The worker must not be left holding a batch that is about to go.
  ~BatchPipeline() {
    if (worker_) worker_->Wait();
  }
  BatchPipeline(const BatchPipeline&) = delete;
  BatchPipeline& operator=(const BatchPipeline&) = delete;

  // The batch to gather into; Ship it when full.
  Batch& Current() { return batches_[current_]; }

  void Ship() {
    Batch& batch = batches_[current_];
    if (batch.Empty()) return;
    if (pending_ >= 0) Deliver();
    Work& work = works_[current_];
    work.Lay(batch);
    if (!worker_) {
      work.MakeParts(batch);
      work.WriteTo(out_);
      batch.Clear();
      return;
    }
    worker_->Start([this, &batch, &work] {
      work.MakeParts(batch);
      work.WaitForParts();
      work.WriteTo(out_);
    });
    pending_ = current_;
    current_ ^= 1;
  }

  // Writes everything gathered so far.
  void Finish() {
    Ship();
    if (pending_ >= 0) Deliver();
  }

 private:
  // The batch with the worker gets the parts no thread has taken yet from
  // this one, then is waited for.
  void Deliver() {
    works_[pending_].MakeParts(batches_[pending_]);
    worker_->Wait();
    batches_[pending_].Clear();
    pending_ = -1;
  }

  // One batch's text: each part in a place of its own, taken by whichever
  // thread comes first.
  class Work {
   public:
    void Lay(const Batch& batch) {
      const std::size_t parts = batch.Parts();
      offsets_.resize(parts);
      lengths_.assign(parts, 0);
      std::size_t size = 0;
      for (std::size_t i = 0; i < parts; ++i) {
        offsets_[i] = size;
        size += batch.PartBound(i);
      }
      if (capacity_ < size) {
        text_.reset();  // the old one goes first: the pair peaks lower
        text_.reset(new char[size]);
        capacity_ = size;
      }
      next_.store(0, std::memory_order_relaxed);
      done_ = 0;
    }

    void MakeParts(const Batch& batch) {
      const std::size_t parts = offsets_.size();
      for (std::size_t i = next_.fetch_add(1, std::memory_order_relaxed); i < parts;
           i = next_.fetch_add(1, std::memory_order_relaxed)) {
        lengths_[i] = batch.WritePart(i, text_.get() + offsets_[i]);
        std::lock_guard<std::mutex> lock(mutex_);
        if (++done_ == parts) allDone_.notify_all();
      }
    }

    void WaitForParts() {
      std::unique_lock<std::mutex> lock(mutex_);
      allDone_.wait(lock, [this] { return done_ == offsets_.size(); });
    }

    void WriteTo(TextStream& out) const {
      for (std::size_t i = 0; i < offsets_.size(); ++i) {
        out.Put(std::string_view(text_.get() + offsets_[i], lengths_[i]));
      }
    }

   private:
    std::unique_ptr<char[]> text_;
    std::size_t capacity_ = 0;
    std::vector<std::size_t> offsets_;
    std::vector<std::size_t> lengths_;
    std::atomic<std::size_t> next_{0};
    std::mutex mutex_;
    std::condition_variable allDone_;
    std::size_t done_ = 0;
  };

  TextStream& out_;
  BackgroundWorker* worker_;
  Batch batches_[2];
  Work works_[2];
  int current_ = 0;
  int pending_ = -1;  // the batch the worker has, if any
};

}  // namespace kw
