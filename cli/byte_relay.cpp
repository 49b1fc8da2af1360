#include "cli/byte_relay.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <utility>

namespace kw {

namespace {

// Writes come a quarter megabyte or more at a time; four blocks of a
// megabyte keep the consumer busy while the caller makes the next.
constexpr std::size_t kBlockSize = std::size_t{1} << 20;
constexpr int kBlocks = 4;

}  // namespace

ByteRelay::ByteRelay(Consumer consume) : consume_(std::move(consume)) {
  try {
    for (int i = 0; i < kBlocks; ++i) free_.push_back(Block{std::make_unique<char[]>(kBlockSize)});
    thread_ = std::thread([this] { Loop(); });
  } catch (const std::system_error&) {
    free_.clear();
  } catch (const std::bad_alloc&) {
    free_.clear();
  }
}

ByteRelay::~ByteRelay() { Close(); }

void ByteRelay::Consume(const char* data, std::size_t size) {
  if (failed_) return;
  try {
    consume_(data, size);
  } catch (...) {
    failed_ = true;
  }
}

void ByteRelay::Feed(const char* data, std::size_t size) {
  if (!thread_.joinable()) return Consume(data, size);
  while (size > 0) {
    if (!filling_.data) {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !free_.empty(); });
      filling_ = std::move(free_.back());
      free_.pop_back();
      filling_.size = 0;
    }
    const std::size_t n = std::min(size, kBlockSize - filling_.size);
    std::memcpy(filling_.data.get() + filling_.size, data, n);
    filling_.size += n;
    data += n;
    size -= n;
    if (filling_.size == kBlockSize) {
      std::lock_guard<std::mutex> lock(mutex_);
      full_.push_back(std::move(filling_));
      filling_ = Block{};
      changed_.notify_all();
    }
  }
}

bool ByteRelay::Close() {
  if (closed_) return !failed_;
  closed_ = true;
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (filling_.data && filling_.size > 0) full_.push_back(std::move(filling_));
      ending_ = true;
      changed_.notify_all();
    }
    thread_.join();
  }
  return !failed_;
}

void ByteRelay::Loop() {
  for (;;) {
    Block block;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !full_.empty() || ending_; });
      if (full_.empty()) return;
      block = std::move(full_.front());
      full_.pop_front();
    }
    Consume(block.data.get(), block.size);
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(std::move(block));
    changed_.notify_all();
  }
}

}  // namespace kw
