// A "C" locale of the session's own, so that numbers are written with "."
// whatever locale the host process runs under.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace kw {

class CLocale {
 public:
  CLocale();
  ~CLocale();
  CLocale(const CLocale&) = delete;
  CLocale& operator=(const CLocale&) = delete;

  // vsnprintf under this locale.
  int FormatV(char* out, std::size_t size, const char* format, va_list args) const;
  int Format(char* out, std::size_t size, const char* format, ...) const
#if defined(__GNUC__)
      __attribute__((format(printf, 4, 5)))
#endif
      ;

  // One locale for code that has no session at hand.
  static const CLocale& Shared();

 private:
  void* handle_;
};

}  // namespace kw
