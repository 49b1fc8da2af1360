#include "readers/scene_file/json_pull.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <utility>

namespace kw::scene_file {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsNumberChar(char c) {
  return IsDigit(c) || c == '-' || c == '.' || c == 'e' || c == 'E' || c == '+';
}

// Every integer in a scene fits 32 bits; longer ones are left to the
// document reader to refuse.
constexpr std::size_t kMaxIntegerDigits = 18;

// Every power of ten up to here is a double exactly.
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Plain text: not the end of a string, an escape, a control character or the
// 0 after the window.
bool IsPlain(char c) { return static_cast<unsigned char>(c) >= 0x20 && c != '"' && c != '\\'; }

// Checks a number against JSON's grammar; true when written as an integer.
bool IsIntegerText(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  const auto digits = [&] {
    const std::size_t from = i;
    while (i < n && IsDigit(text[i])) ++i;
    return i > from;
  };
  if (i < n && text[i] == '-') ++i;
  if (i < n && text[i] == '0') {
    ++i;
  } else if (!digits()) {
    Refuse();
  }
  bool integer = true;
  if (i < n && text[i] == '.') {
    ++i;
    integer = false;
    if (!digits()) Refuse();
  }
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    integer = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    if (!digits()) Refuse();
  }
  if (i != n) Refuse();
  return integer;
}

int HexDigit(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  Refuse();
}

unsigned Hex4(const char* text) {
  unsigned value = 0;
  for (int i = 0; i < 4; ++i) value = value * 16 + static_cast<unsigned>(HexDigit(text[i]));
  return value;
}

void AppendUtf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Well-formed UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t extra = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      if (c == 0xE0) low = 0xA0;
      if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (text.size() - i - 1 < extra) return false;
    const auto second = static_cast<unsigned char>(text[i + 1]);
    if (second < low || second > high) return false;
    for (std::size_t k = 2; k <= extra; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += 1 + extra;
  }
  return true;
}

}  // namespace

JsonPull::JsonPull(TextSource source, std::size_t window)
    : source_(std::move(source)), window_(std::max<std::size_t>(window, 1) + 1, '\0') {
  p_ = end_ = window_.data();
}

JsonPull::JsonPull(const char* text, std::size_t size)
    : p_(text), end_(text + size), ended_(true) {}

std::string_view JsonPull::Ahead(std::size_t bytes) {
  Peek();
  while (static_cast<std::size_t>(end_ - p_) < bytes && Refill(p_)) {
  }
  return std::string_view(p_, static_cast<std::size_t>(end_ - p_));
}

void JsonPull::Skip(std::size_t bytes) {
  p_ += std::min(bytes, static_cast<std::size_t>(end_ - p_));
}

bool JsonPull::Refill(const char*& from) {
  if (ended_) return false;
  const auto keptFrom = static_cast<std::size_t>(from - window_.data());
  const auto kept = static_cast<std::size_t>(end_ - from);
  // A token longer than half the window: the window grows.
  const std::size_t room = window_.size() - 1;
  if (2 * kept > room) window_.resize(2 * room + 1);
  char* base = window_.data();
  std::memmove(base, base + keptFrom, kept);
  const std::size_t got = source_(base + kept, window_.size() - 1 - kept);
  base[kept + got] = '\0';
  end_ = base + kept + got;
  from = base;
  if (got == 0) ended_ = true;
  return got != 0;
}

void JsonPull::Need(std::size_t n) {
  while (static_cast<std::size_t>(end_ - p_) < n) {
    if (!Refill(p_)) Refuse();
  }
}

std::string_view JsonPull::Name() {
  if (Peek() != '"') Refuse();
  const char* start = p_ + 1;
  std::size_t scanned = 0;
  for (;;) {
    // An escape or a control character makes a name none of ours.
    const auto* s = static_cast<const char*>(
        std::memchr(start + scanned, '"', static_cast<std::size_t>(end_ - start) - scanned));
    if (s) {
      // Nearly always the colon follows: the name is used where it lies.
      if (s[1] == ':') {
        p_ = s + 2;
        return std::string_view(start, static_cast<std::size_t>(s - start));
      }
      name_.assign(start, s);
      p_ = s + 1;
      break;
    }
    scanned = static_cast<std::size_t>(end_ - start);
    if (!Refill(start)) Refuse();
  }
  Expect(':');
  return name_;
}

void JsonPull::Escape(std::string& out) {
  Need(2);
  const char c = p_[1];
  const char* const kFrom = "\"\\/bfnrt";
  const char* const kTo = "\"\\/\b\f\n\r\t";
  if (const char* simple = c != '\0' ? std::strchr(kFrom, c) : nullptr) {
    out += kTo[simple - kFrom];
    p_ += 2;
    return;
  }
  if (c != 'u') Refuse();
  Need(6);
  unsigned code = Hex4(p_ + 2);
  p_ += 6;
  // A NUL would cut a name short; the document reader says so.
  if (code == 0 || (code >= 0xDC00 && code <= 0xDFFF)) Refuse();
  if (code >= 0xD800 && code <= 0xDBFF) {
    Need(6);
    if (p_[0] != '\\' || p_[1] != 'u') Refuse();
    const unsigned low = Hex4(p_ + 2);
    if (low < 0xDC00 || low > 0xDFFF) Refuse();
    p_ += 6;
    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
  }
  AppendUtf8(out, code);
}

std::string JsonPull::String() {
  if (Peek() != '"') Refuse();
  ++p_;
  std::string out;
  for (;;) {
    const char* s = p_;
    while (IsPlain(*s)) ++s;
    out.append(p_, s);
    p_ = s;
    if (*s == '"') {
      ++p_;
      break;
    }
    if (*s == '\\') {
      Escape(out);
    } else if (s != end_ || !Refill(p_)) {
      Refuse();
    }
  }
  if (!IsUtf8(out)) Refuse();
  return out;
}

bool JsonPull::Bool() {
  const bool value = Peek() == 't';
  const std::string_view word = value ? "true" : "false";
  Need(word.size());
  if (std::string_view(p_, word.size()) != word) Refuse();
  p_ += word.size();
  return value;
}

bool JsonPull::Null() {
  if (Peek() != 'n') return false;
  Need(4);
  if (std::string_view(p_, 4) != "null") Refuse();
  p_ += 4;
  return true;
}

std::string_view JsonPull::NumberText() {
  Peek();
  const char* start = p_;
  std::size_t scanned = 0;
  for (;;) {
    const char* s = start + scanned;
    while (IsNumberChar(*s)) ++s;
    scanned = static_cast<std::size_t>(s - start);
    if (s != end_ || !Refill(start)) break;
  }
  p_ = start + scanned;
  if (scanned == 0) Refuse();
  return std::string_view(start, scanned);
}

std::int64_t JsonPull::Integer() {
  Peek();
  // Nearly every number lies whole in the window and is read where it lies.
  const char* s = p_;
  const bool negative = *s == '-';
  if (negative) ++s;
  const char* const digits = s;
  std::uint64_t value = 0;
  while (IsDigit(*s)) value = value * 10 + static_cast<std::uint64_t>(*s++ - '0');
  if (s == end_) return IntegerOf(NumberText());
  const auto count = static_cast<std::size_t>(s - digits);
  if (count == 0 || count > kMaxIntegerDigits || (*digits == '0' && count > 1) || IsNumberChar(*s))
    Refuse();
  p_ = s;
  const auto magnitude = static_cast<std::int64_t>(value);
  return negative ? -magnitude : magnitude;
}

std::int64_t JsonPull::IntegerOf(std::string_view text) {
  if (text.empty()) Refuse();
  const bool negative = text[0] == '-';
  const std::string_view digits = text.substr(negative ? 1 : 0);
  if (digits.empty() || digits.size() > kMaxIntegerDigits ||
      (digits[0] == '0' && digits.size() > 1))
    Refuse();
  std::int64_t value = 0;
  for (const char c : digits) {
    if (!IsDigit(c)) Refuse();
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

double JsonPull::Double() {
  Peek();
  // Up to 15 digits and 22 decimals, the digits and the power of ten are
  // exact doubles, and one division rounds as reading the text exactly
  // would.
  const char* s = p_;
  const bool negative = *s == '-';
  if (negative) ++s;
  const char* const whole = s;
  std::uint64_t digits = 0;
  while (IsDigit(*s)) digits = digits * 10 + static_cast<std::uint64_t>(*s++ - '0');
  const std::size_t wholeCount = static_cast<std::size_t>(s - whole);
  const bool point = *s == '.';
  std::size_t decimals = 0;
  if (point) {
    const char* const fraction = ++s;
    while (IsDigit(*s)) digits = digits * 10 + static_cast<std::uint64_t>(*s++ - '0');
    decimals = static_cast<std::size_t>(s - fraction);
  }
  const bool plain =
      wholeCount > 0 && (whole[0] != '0' || wholeCount == 1) && (!point || decimals > 0);
  if (plain && s != end_ && !IsNumberChar(*s) && wholeCount + decimals <= 15 && decimals <= 22) {
    p_ = s;
    const double value = static_cast<double>(digits) / kPowersOfTen[decimals];
    // The document keeps -0 as the integer 0.
    return negative && (decimals > 0 || digits != 0) ? -value : value;
  }
  return DoubleOf(NumberText());
}

double JsonPull::DoubleOf(std::string_view text) {
  const bool integer = IsIntegerText(text);
  double value = 0;
  const char* end = text.data() + text.size();
  const std::from_chars_result read = std::from_chars(text.data(), end, value);
  if (read.ec != std::errc() || read.ptr != end) Refuse();
  // The document keeps -0 as the integer 0.
  if (integer && value == 0) value = 0;
  return value;
}

}  // namespace kw::scene_file
