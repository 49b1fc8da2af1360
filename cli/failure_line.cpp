#include "cli/failure_line.h"

#include <cstdio>

namespace kw {

namespace {

std::string Escaped(const std::string& message, bool keepLineBreaks) {
  std::string line;
  line.reserve(message.size());
  for (const char c : message) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && !(keepLineBreaks && c == '\n')) || byte == 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      line += escape;
    } else {
      line += c;
    }
  }
  return line;
}

}  // namespace

std::string OneLine(const std::string& message) { return Escaped(message, false); }

std::string Printable(const std::string& text) { return Escaped(text, true); }

void PrintFailure(const std::string& message) {
  const std::string line = "kestrelworks: " + OneLine(message) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace kw
