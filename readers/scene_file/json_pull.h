// JSON text read a token at a time through a small window that is refilled
// as it is used up, so a scene file of any size is never held whole. It takes
// plain JSON only and declines (throws NotTaken) on anything else, including
// what JSON allows but a scene never needs: such text is the document
// reader's to explain or take.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kw::scene_file {

// Copies up to size bytes of the text into `into`; 0 at its end.
using TextSource = std::function<std::size_t(char* into, std::size_t size)>;

// Anything not taken.
struct NotTaken {};

[[noreturn]] inline void Refuse() { throw NotTaken{}; }

class JsonPull {
 public:
  // window: the bytes read at a time; a longer token widens it.
  JsonPull(TextSource source, std::size_t window);
  // Over a whole text in memory, whose byte at text[size] is 0.
  JsonPull(const char* text, std::size_t size);
  JsonPull(const JsonPull&) = delete;
  JsonPull& operator=(const JsonPull&) = delete;

  // The next character after whitespace, not taken; 0 at the end.
  char Peek() {
    for (;;) {
      while (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t') ++p_;
      if (p_ != end_ || !Refill(p_)) return *p_;
    }
  }
  bool Consume(char c) {
    if (Peek() != c) return false;
    ++p_;
    return true;
  }
  void Expect(char c) {
    if (!Consume(c)) Refuse();
  }
  // The bytes read at a time (0 over a text in memory).
  std::size_t Window() const { return window_.empty() ? 0 : window_.size() - 1; }
  // Only whitespace is left.
  bool AtEnd() { return Peek() == '\0' && p_ == end_; }

  // A member name as written, escapes left as they are (no name of ours has
  // one), and its colon. The view lasts until the next call.
  std::string_view Name();
  std::string String();
  bool Bool();
  // Takes a null if one comes next.
  bool Null();
  // A number written as an integer, within int64.
  std::int64_t Integer();
  // Any number; one written as an integer gives what its integer value
  // would (so -0 is 0).
  double Double();

  // The text from the next token on, at least `bytes` of it unless the
  // text ends first; the view lasts until the next call. Skip passes over
  // what it showed.
  std::string_view Ahead(std::size_t bytes);
  void Skip(std::size_t bytes);

 private:
  // Moves [from, end_) to the front of the window and reads more text after
  // it; from then points at the front. False when the text has ended.
  bool Refill(const char*& from);
  // The characters a number may be made of, from p_; p_ then follows them.
  std::string_view NumberText();
  std::int64_t IntegerOf(std::string_view text);
  double DoubleOf(std::string_view text);
  // At least n bytes from p_ on, or refuses.
  void Need(std::size_t n);
  void Escape(std::string& out);

  TextSource source_;
  std::vector<char> window_;  // one more byte for the 0 after end_
  std::string name_;
  const char* p_;
  const char* end_;
  bool ended_ = false;
};

}  // namespace kw::scene_file
