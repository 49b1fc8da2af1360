#include "smd/printable_text.h"

#include <cstdio>

namespace kw::smd {
namespace {

bool Continuation(unsigned char byte) { return (byte & 0xc0) == 0x80; }

// The length of the well-formed UTF-8 character at p (no overlong forms, no
// surrogates, nothing past U+10FFFF), with its code point; 0 when there is none.
std::size_t Character(const unsigned char* p, std::size_t left, char32_t* code) {
  const unsigned char lead = p[0];
  std::size_t length;
  char32_t value, least;
  if (lead < 0x80) {
    *code = lead;
    return 1;
  } else if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2, value = lead & 0x1f, least = 0x80;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3, value = lead & 0x0f, least = 0x800;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4, value = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (left < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if (!Continuation(p[i])) return 0;
    value = value << 6 | (p[i] & 0x3f);
  }
  if (value < least || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff)) return 0;
  *code = value;
  return length;
}

bool ActsOnTerminal(char32_t code) {
  return code < 0x20 || (code >= 0x7f && code <= 0x9f) || code == 0x2028 || code == 0x2029 ||
         (code >= 0x202a && code <= 0x202e) || (code >= 0x2066 && code <= 0x2069);
}

}  // namespace

std::size_t Utf8Prefix(std::string_view text, std::size_t maxBytes) {
  if (maxBytes >= text.size()) return text.size();
  std::size_t end = maxBytes;
  while (end > 0 && maxBytes - end < 3 && Continuation(static_cast<unsigned char>(text[end])))
    --end;
  // A run of continuation bytes longer than any character is no character.
  return Continuation(static_cast<unsigned char>(text[end])) ? maxBytes : end;
}

std::string PrintableText(std::string_view text, std::size_t maxBytes) {
  const std::size_t taken = Utf8Prefix(text, maxBytes);
  std::string out;
  out.reserve(taken + 8);
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  char escape[16];
  for (std::size_t i = 0; i < taken;) {
    char32_t code = 0;
    const std::size_t length = Character(p + i, taken - i, &code);
    if (length == 0) {
      std::snprintf(escape, sizeof escape, "\\x%02x", p[i]);
      out += escape;
      ++i;
      continue;
    }
    if (ActsOnTerminal(code)) {
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(code));
      out += escape;
    } else {
      out.append(text.data() + i, length);
    }
    i += length;
  }
  if (taken < text.size()) out += "...";
  return out;
}

}  // namespace kw::smd
