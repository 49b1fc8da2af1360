#include "smd/quotable_name.h"

namespace kw {
namespace {

bool Breaks(char c) { return c == '"' || c == '\n' || c == '\r'; }

}  // namespace

bool NeedsReplacing(std::string_view name) {
  for (const char c : name) {
    if (Breaks(c)) return true;
  }
  return false;
}

std::string QuotableName(std::string_view name) {
  std::string text(name);
  for (char& c : text) {
    if (Breaks(c)) c = '_';
  }
  return text;
}

}  // namespace kw
