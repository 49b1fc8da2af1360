// A set of 64-bit hashes by open addressing, for counting unique vertices:
// two different vertices that share all 64 bits are one in several billion
// for a million vertices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kw::smd {

class HashSet {
 public:
  explicit HashSet(std::size_t expected = 0) {
    std::size_t size = 16;
    while (size < expected * 2) size <<= 1;
    slots_.assign(size, 0);
  }
  // True when the hash was not yet in the set.
  bool Insert(std::uint64_t hash) {
    if (hash == 0) hash = 1;  // 0 marks an empty slot
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      if (slots_[i] == hash) return false;
      if (slots_[i] == 0) {
        slots_[i] = hash;
        if (++count_ * 2 > slots_.size()) Grow();
        return true;
      }
    }
  }
  std::size_t Count() const { return count_; }
  // Asks for the memory of hash's first slot ahead of an Insert.
  void Prefetch(std::uint64_t hash) const {
    __builtin_prefetch(&slots_[(hash == 0 ? 1 : hash) & (slots_.size() - 1)]);
  }

 private:
  void Grow() {
    std::vector<std::uint64_t> old(slots_.size() * 2, 0);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (std::uint64_t hash : old) {
      if (hash == 0) continue;
      std::size_t i = hash & mask;
      while (slots_[i] != 0) i = (i + 1) & mask;
      slots_[i] = hash;
    }
  }
  std::vector<std::uint64_t> slots_;
  std::size_t count_ = 0;
};

}  // namespace kw::smd
