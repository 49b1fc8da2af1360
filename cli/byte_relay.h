// Bytes handed to a consumer on a thread of its own, in the order they came.
// The caller's bytes are copied into a few fixed blocks, so it waits only
// when the consumer is that far behind, and memory stays bounded.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kw {

class ByteRelay {
 public:
  using Consumer = std::function<void(const char* data, std::size_t size)>;

  // Without a thread to give, the consumer is called on the caller's.
  explicit ByteRelay(Consumer consume);
  ~ByteRelay();
  ByteRelay(const ByteRelay&) = delete;
  ByteRelay& operator=(const ByteRelay&) = delete;

  void Feed(const char* data, std::size_t size);
  // Waits until the consumer has had every byte. False when it threw; it
  // then had no more bytes after that.
  bool Close();

 private:
  struct Block {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
  };

  void Consume(const char* data, std::size_t size);
  void Loop();

  Consumer consume_;
  bool failed_ = false;  // the consumer threw; read once the thread has ended
  bool closed_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Block> free_;  // blocks the caller may fill
  std::deque<Block> full_;   // in order, for the consumer
  Block filling_;            // the caller's
  bool ending_ = false;      // no block comes after those in full_
  std::thread thread_;       // last: starts once the rest exists
};

}  // namespace kw
