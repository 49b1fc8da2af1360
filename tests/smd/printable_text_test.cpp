#include "smd/printable_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using kw::smd::PrintableText;
using kw::smd::Utf8Prefix;

TEST(PrintableText, EscapesWhatActsOnATerminalAndKeepsTheRest) {
  const struct {
    std::string in;
    std::size_t most;
    std::string out;
  } cases[] = {
      {"skin_01.tga", std::string::npos, "skin_01.tga"},
      {"\x1b[31mred\x07\n\x7f", std::string::npos, "\\u001b[31mred\\u0007\\u000a\\u007f"},
      {"caf\xe9 \xc3\xa9 \xf0\x9f\x98\x80", std::string::npos,
       "caf\\xe9 \xc3\xa9 \xf0\x9f\x98\x80"},
      {"\xc2\x9b"
       "1m \xe2\x80\xae"
       "gpj.exe",
       std::string::npos, "\\u009b1m \\u202egpj.exe"},
      {"\xc0\xaf \xed\xa0\x80", std::string::npos,
       "\\xc0\\xaf \\xed\\xa0\\x80"},                          // overlong, surrogate
      {"\xd1\x82\xd1\x82\xd1\x82", 5, "\xd1\x82\xd1\x82..."},  // cut between characters
      {"abc", 3, "abc"},
  };
  for (const auto& c : cases) EXPECT_EQ(PrintableText(c.in, c.most), c.out) << c.in;
}

// Any prefix of valid UTF-8 that Utf8Prefix gives is valid UTF-8 itself,
// and never shorter than a character less than asked.
TEST(PrintableText, PrefixesNeverEndInsideACharacter) {
  const char* pieces[] = {"a", "\xd1\x82", "\xe2\x82\xac", "\xf0\x9f\x98\x80"};
  std::mt19937 random(5);
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    for (int i = 0; i < 12; ++i) text += pieces[random() % 4];
    const std::size_t most = random() % (text.size() + 2);
    const std::size_t cut = Utf8Prefix(text, most);
    ASSERT_LE(cut, std::min(most, text.size()));
    EXPECT_GE(cut + 3, std::min(most, text.size()));
    EXPECT_EQ(PrintableText(text.substr(0, cut)), text.substr(0, cut)) << round;
  }
}

}  // namespace
