#include "cli/failure_line.h"

#include <cstdio>

namespace kw {

std::string OneLine(const std::string& message) {
  std::string line;
  line.reserve(message.size());
  for (const char c : message) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      line += escape;
    } else {
      line += c;
    }
  }
  return line;
}

void PrintFailure(const std::string& message) {
  const std::string line = "kestrelworks: " + OneLine(message) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace kw
