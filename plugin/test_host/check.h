// A small test runner for the Windows test host, where no test framework is
// packaged: tests register themselves with KW_TEST, checks record failures
// with file and line, and the run ends with "N passed, N failed".
//
// REQUIRE ends the current test by throwing; never use it inside a handler
// the plug-in's code calls back (dialog handlers, timer callbacks), where an
// exception would have to cross the library and the system. Use CHECK there.
#pragma once

#include <cstring>
#include <sstream>
#include <string>

namespace kw::test {

using TestFunction = void (*)();

struct Registrar {
  Registrar(const char* group, const char* name, TestFunction function);
};

void Fail(const char* file, int line, const std::string& message);
bool CurrentTestFailed();

// Runs every test whose "group.name" contains filter (all when empty);
// prints one line per test and the summary. Returns the number failed.
int RunAll(const std::string& filter);
void ListAll();

struct TestAborted {};

template <typename T>
std::string Show(const T& value) {
  std::ostringstream out;
  out << value;
  return out.str();
}
std::string Show(const std::string& value);
std::string Show(const char* value);
std::string Show(char* value);
std::string Show(std::nullptr_t);

bool SameText(const char* a, const char* b);

}  // namespace kw::test

#define KW_TEST(group, name)                                                                  \
  static void group##_##name();                                                               \
  static const kw::test::Registrar group##_##name##_registrar(#group, #name, group##_##name); \
  static void group##_##name()

#define CHECK(condition)                                                           \
  do {                                                                             \
    if (!(condition)) kw::test::Fail(__FILE__, __LINE__, "not true: " #condition); \
  } while (0)

#define CHECK_EQ(actual, expected)                                                             \
  do {                                                                                         \
    const auto& kw_actual = (actual);                                                          \
    const auto& kw_expected = (expected);                                                      \
    if (!(kw_actual == kw_expected)) {                                                         \
      kw::test::Fail(__FILE__, __LINE__,                                                       \
                     std::string(#actual " is ") + kw::test::Show(kw_actual) + ", expected " + \
                         kw::test::Show(kw_expected));                                         \
    }                                                                                          \
  } while (0)

// Compares C strings by content; null equals only null.
#define CHECK_STREQ(actual, expected)                                                          \
  do {                                                                                         \
    const char* kw_actual = (actual);                                                          \
    const char* kw_expected = (expected);                                                      \
    if (!kw::test::SameText(kw_actual, kw_expected)) {                                         \
      kw::test::Fail(__FILE__, __LINE__,                                                       \
                     std::string(#actual " is ") + kw::test::Show(kw_actual) + ", expected " + \
                         kw::test::Show(kw_expected));                                         \
    }                                                                                          \
  } while (0)

#define REQUIRE(condition)                                                   \
  do {                                                                       \
    if (!(condition)) {                                                      \
      kw::test::Fail(__FILE__, __LINE__, "required, not true: " #condition); \
      throw kw::test::TestAborted();                                         \
    }                                                                        \
  } while (0)
