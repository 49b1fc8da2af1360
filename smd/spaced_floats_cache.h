// The text " %f %f %f" of a position or normal, or " %f %f" of a texture
// coordinate, remembered by the floats' bits. A mesh repeats each of these on
// the lines of the five or six faces around a vertex, mostly close together in
// the face list, and formatting is most of what a reference export costs.
// The caller places each text by the index of what it belongs to (a vertex, a
// texture vertex): neighbours then share cache lines of memory, where a hash
// of the bits would scatter them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "smd/number_format.h"

namespace kw {

template <std::size_t N>
class SpacedFloatsCache {
 public:
  // 2^slotBits remembered texts, 64 bytes each. A text that does not fit a
  // slot, or whose slot another took since, is formatted again; a slot is
  // only used for the same bits, so the cache never changes a byte.
  explicit SpacedFloatsCache(unsigned slotBits)
      : mask_((std::size_t{1} << slotBits) - 1),
        // calloc: the kernel's zero pages, touched only where texts land.
        slots_(static_cast<Slot*>(std::calloc(std::size_t{1} << slotBits, sizeof(Slot)))) {
    if (!slots_) throw std::bad_alloc();
  }

  // Writes the text to out and returns its length. out needs room for kRoom
  // bytes: a remembered text is copied as its whole slot, and the formatter
  // asks room for its longest number.
  std::size_t Write(const float (&values)[N], std::size_t place, char* out) {
    std::uint32_t key[N];
    std::memcpy(key, values, sizeof key);
    Slot& slot = slots_.get()[place & mask_];
    if (slot.length != 0 && std::memcmp(slot.key, key, sizeof key) == 0) {
      std::memcpy(out, slot.text, sizeof slot.text);  // whole words
      return slot.length;
    }
    std::size_t length = 0;
    for (float value : values) {
      out[length++] = ' ';
      length += FormatFixed6(value, out + length);
    }
    if (length <= sizeof slot.text) {
      std::memcpy(slot.key, key, sizeof key);
      std::memcpy(slot.text, out, length);
      slot.length = static_cast<std::uint8_t>(length);
    }
    return length;
  }

  // Longest text of N floats: " -" and 39 digits, the point and 6 decimals each.
  static constexpr std::size_t kLongestText = N * 48;
  static constexpr std::size_t kRoom = kLongestText + kMaxFixedLength;
  static_assert(kRoom >= 64, "a slot's text is copied whole");

 private:
  struct Slot {
    std::uint32_t key[N];
    std::uint8_t length;  // 0: empty
    char text[64 - 4 * N - 1];
  };
  static_assert(sizeof(Slot) == 64, "a slot is one cache line");

  struct Free {
    void operator()(Slot* slots) const { std::free(slots); }
  };

  std::size_t mask_;
  std::unique_ptr<Slot, Free> slots_;
};

}  // namespace kw
