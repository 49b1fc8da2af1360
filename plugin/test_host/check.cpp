#include "plugin/test_host/check.h"

#include <cstdio>
#include <exception>
#include <vector>

namespace kw::test {
namespace {

struct Test {
  std::string name;
  TestFunction function;
};

std::vector<Test>& Tests() {
  static std::vector<Test> tests;
  return tests;
}

int g_failuresInTest = 0;

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

Registrar::Registrar(const char* group, const char* name, TestFunction function) {
  Tests().push_back(Test{std::string(group) + "." + name, function});
}

void Fail(const char* file, int line, const std::string& message) {
  ++g_failuresInTest;
  const char* base = std::strrchr(file, '/');
  std::printf("  %s:%d: %s\n", base ? base + 1 : file, line, message.c_str());
  std::fflush(stdout);
}

bool CurrentTestFailed() { return g_failuresInTest != 0; }

std::string Show(const std::string& value) { return Quoted(value); }
std::string Show(const char* value) { return value ? Quoted(value) : "null"; }
std::string Show(char* value) { return Show(static_cast<const char*>(value)); }
std::string Show(std::nullptr_t) { return "null"; }

bool SameText(const char* a, const char* b) {
  if (!a || !b) return a == b;
  return std::strcmp(a, b) == 0;
}

int RunAll(const std::string& filter) {
  int passed = 0;
  int failed = 0;
  for (const Test& test : Tests()) {
    if (!filter.empty() && test.name.find(filter) == std::string::npos) continue;
    std::printf("[ RUN      ] %s\n", test.name.c_str());
    std::fflush(stdout);
    g_failuresInTest = 0;
    try {
      test.function();
    } catch (const TestAborted&) {
    } catch (const std::exception& error) {
      Fail(__FILE__, __LINE__, std::string("exception: ") + error.what());
    } catch (...) {
      Fail(__FILE__, __LINE__, "unknown exception");
    }
    if (g_failuresInTest == 0) {
      ++passed;
      std::printf("[       OK ] %s\n", test.name.c_str());
    } else {
      ++failed;
      std::printf("[  FAILED  ] %s\n", test.name.c_str());
    }
    std::fflush(stdout);
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  std::fflush(stdout);
  return failed;
}

void ListAll() {
  for (const Test& test : Tests()) std::printf("%s\n", test.name.c_str());
}

}  // namespace kw::test
