// printf into a std::string, for the checker's messages and the texts tests
// build; the process runs in the "C" locale, so "." is the decimal point.
#pragma once

#include <string>

namespace kw::smd {

std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kw::smd
