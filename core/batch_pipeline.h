// Batches of values on their way to the stream as text. With a worker, one
// batch's text is made and written there while the export's thread gathers
// the next; without, each is made and written as it fills. Either way the
// text reaches the stream in order, and never from both threads at once: the
// export's thread leaves the stream alone from the first Ship to Finish.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>

#include "core/background_worker.h"
#include "core/text_output.h"

namespace kw {

// Batch: Empty(), Clear() and TextBound(), the room its text may need.
// MakeText(batch, out) writes the text to out and returns its length.
template <typename Batch>
class BatchPipeline {
 public:
  using MakeText = std::function<std::size_t(const Batch&, char*)>;

  BatchPipeline(TextStream& out, BackgroundWorker* worker, MakeText makeText, Batch first,
                Batch second)
      : out_(out),
        worker_(worker),
        makeText_(std::move(makeText)),
        batches_{std::move(first), std::move(second)} {}
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
    Text& text = texts_[current_];
    if (text.capacity < batch.TextBound()) {
      text.bytes.reset();  // the old one goes first: the pair peaks lower
      text.bytes.reset(new char[batch.TextBound()]);
      text.capacity = batch.TextBound();
    }
    if (!worker_) {
      out_.Put(std::string_view(text.bytes.get(), makeText_(batch, text.bytes.get())));
      batch.Clear();
      return;
    }
    worker_->Start([this, &batch, &text] {
      out_.Put(std::string_view(text.bytes.get(), makeText_(batch, text.bytes.get())));
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
  void Deliver() {
    worker_->Wait();
    batches_[pending_].Clear();
    pending_ = -1;
  }

  struct Text {
    std::unique_ptr<char[]> bytes;
    std::size_t capacity = 0;
  };

  TextStream& out_;
  BackgroundWorker* worker_;
  MakeText makeText_;
  Batch batches_[2];
  Text texts_[2];
  int current_ = 0;
  int pending_ = -1;  // the batch the worker has, if any
};

}  // namespace kw
