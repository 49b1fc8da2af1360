// Locale-free number formatting with exactly the text the C runtime's printf
// writes in the "C" locale.
#pragma once

#include <cstddef>
#include <string>

namespace kw {

// Longest text FormatFixed6 writes: "-" + 39 integer digits of FLT_MAX-sized
// values of a double ... with room to spare for any double.
constexpr std::size_t kMaxFixedLength = 330;

// Writes printf("%f", value) to out (no terminating NUL) and returns its length.
// out must have room for kMaxFixedLength bytes whatever the value: the fast
// path stores whole words, past the returned length.
std::size_t FormatFixed6(double value, char* out);

// Writes printf("%d", value) to out (no terminating NUL) and returns its length
// (at most 11). out must have room for 11 bytes whatever the value.
std::size_t FormatInt(int value, char* out);

// printf("%3d", value): right-aligned in three columns, wider when it needs more.
std::string Int3Text(int value);

}  // namespace kw
