#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <stdexcept>
#include <string>

#include "cli/byte_relay.h"

namespace {

// Bytes fed in chunks of every size, a block's worth and far more among
// them, reach the consumer whole and in order.
TEST(ByteRelay, HandsOverEveryByteInOrder) {
  std::mt19937 random(5);
  std::string text(std::size_t{5} << 20, '\0');
  for (char& c : text) c = static_cast<char>(random());
  std::string got;
  kw::ByteRelay relay([&got](const char* data, std::size_t size) { got.append(data, size); });
  std::size_t at = 0;
  const std::size_t sizes[] = {1, 7, 4096, std::size_t{1} << 20, (std::size_t{3} << 20) + 5};
  for (int i = 0; at < text.size(); ++i) {
    const std::size_t n = std::min(sizes[i % 5], text.size() - at);
    relay.Feed(text.data() + at, n);
    at += n;
  }
  EXPECT_TRUE(relay.Close());
  EXPECT_TRUE(got == text);
}

// A consumer that throws gets nothing more, and Close says so.
TEST(ByteRelay, AConsumerThatThrowsIsToldNoMore) {
  int calls = 0;
  kw::ByteRelay relay([&calls](const char*, std::size_t) {
    ++calls;
    throw std::runtime_error("full");
  });
  const std::string block(std::size_t{1} << 20, 'x');
  for (int i = 0; i < 10; ++i) relay.Feed(block.data(), block.size());
  EXPECT_FALSE(relay.Close());
  EXPECT_EQ(calls, 1);
}

}  // namespace
