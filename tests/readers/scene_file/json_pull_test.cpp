// The scene file's JSON tokenizer against the C runtime's reading of numbers
// and against JSON's rules for strings, through windows of every size.

#include "readers/scene_file/json_pull.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using kw::scene_file::JsonPull;
using kw::scene_file::NotTaken;

JsonPull Over(const std::string& text, std::size_t window) {
  auto at = std::make_shared<std::size_t>(0);
  return JsonPull(
      [text, at](char* into, std::size_t size) {
        const std::size_t n = text.copy(into, size, *at);
        *at += n;
        return n;
      },
      window);
}

std::string RandomNumber(std::mt19937& random) {
  std::string text = random() % 2 ? "-" : "";
  const int digits = 1 + static_cast<int>(random() % 17);
  const int point = static_cast<int>(random() % (digits + 1));
  for (int i = 0; i < digits; ++i) {
    if (i == point && i > 0) text += '.';
    // No leading zero before more digits of the whole part.
    const bool lead = i == 0 && point != 1 && digits > 1;
    text += static_cast<char>('0' + (lead ? 1 + random() % 9 : random() % 10));
  }
  if (random() % 8 == 0) text += "e" + std::to_string(static_cast<int>(random() % 80) - 40);
  return text;
}

// Every number as strtod reads it, bit for bit, except that -0 written as an
// integer is the integer 0, as the document reader keeps it.
TEST(JsonPull, ReadsNumbersAsTheCRuntimeDoes) {
  std::mt19937 random(16);
  std::vector<std::string> numbers = {"0",
                                      "-0",
                                      "-0.0",
                                      "0.1",
                                      "123456789012345",
                                      "1234567890123456",
                                      "0.000000000000000000001",
                                      "1E2",
                                      "9007199254740993",
                                      "2.2250738585072014e-308"};
  for (int i = 0; i < 20000; ++i) numbers.push_back(RandomNumber(random));
  std::string text = "[";
  for (const std::string& number : numbers) text += (text.size() > 1 ? "," : "") + number;
  text += "]";
  for (std::size_t window : {std::size_t{1} << 20, std::size_t{5}}) {
    JsonPull in = Over(text, window);
    in.Expect('[');
    for (std::size_t i = 0; i < numbers.size(); ++i) {
      if (i > 0) in.Expect(',');
      double expected = std::strtod(numbers[i].c_str(), nullptr);
      if (numbers[i] == "-0") expected = 0;
      const double read = in.Double();
      ASSERT_EQ(std::memcmp(&read, &expected, sizeof read), 0)
          << numbers[i] << " window " << window;
    }
    in.Expect(']');
    EXPECT_TRUE(in.AtEnd());
  }
}

TEST(JsonPull, RefusesWhatJsonDoesNot) {
  const auto integer = [](JsonPull& in) { in.Integer(); };
  const auto number = [](JsonPull& in) { in.Double(); };
  const auto string = [](JsonPull& in) { in.String(); };
  const std::vector<std::pair<std::string, void (*)(JsonPull&)>> refused = {
      {"01", integer},
      {"1.0", integer},
      {"1e0", integer},
      {"-", integer},
      {"+1", integer},
      {"01.5", number},
      {"1.", number},
      {".5", number},
      {"1e", number},
      {"-x", number},
      {"NaN", number},
      {"1e400", number},
      {"\"a\tb\"", string},
      {"\"\\x\"", string},
      {"\"\\ud800\"", string},
      {"\"\\udc00\"", string},
      {"\"\\ud800\\u0041\"", string},
      {"\"\xc0\x80\"", string},
      {"\"\xed\xa0\x80\"", string},
      {"\"\xf4\x90\x80\x80\"", string},
      {"\"\xe2\x82\"", string},
      {"\"abc", string}};
  for (const auto& [text, read] : refused) {
    for (std::size_t window : {std::size_t{64}, std::size_t{1}}) {
      JsonPull in = Over(text, window);
      EXPECT_THROW(read(in), NotTaken) << text << " window " << window;
    }
  }
}

TEST(JsonPull, ReadsStringsWithEveryEscape) {
  const std::string text = R"(["a\"\\\/\b\f\n\r\tz", "\u00e9\u20ac\ud83d\ude00", "é€😀"] )";
  for (std::size_t window : {std::size_t{64}, std::size_t{1}, std::size_t{3}}) {
    JsonPull in = Over(text, window);
    in.Expect('[');
    EXPECT_EQ(in.String(), "a\"\\/\b\f\n\r\tz");
    in.Expect(',');
    EXPECT_EQ(in.String(), "é€😀");
    in.Expect(',');
    EXPECT_EQ(in.String(), "é€😀");
    in.Expect(']');
    EXPECT_TRUE(in.AtEnd());
  }
}

}  // namespace
