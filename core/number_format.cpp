#include "core/number_format.h"

#include <clocale>
#include <cstdio>
#include <cstring>

#include "core/c_locale.h"

std::size_t FormatFixed6(double value, char* out) {
  char text[kMaxFixedLength + 1];
  const int length = CLocale::Shared().Format(text, sizeof text, "%f", value);
  if (length <= 0) return 0;
  const std::size_t size = static_cast<std::size_t>(length) < sizeof text
                               ? static_cast<std::size_t>(length) : sizeof text - 1;
  std::memcpy(out, text, size);
  return size;
}

std::size_t FormatInt(int value, char* out) {
  // Work in unsigned so that INT_MIN negates without overflow.
  unsigned int magnitude = value < 0 ? 0u - static_cast<unsigned int>(value)
                                     : static_cast<unsigned int>(value);
  char digits[10];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10u);
    magnitude /= 10u;
  } while (magnitude != 0);
  std::size_t length = 0;
  if (value < 0) out[length++] = '-';
  while (count > 0) out[length++] = digits[--count];
  return length;
}
