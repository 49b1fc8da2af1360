#include "smd/c_locale.h"

#include <cstdio>

#if defined(_WIN32)
#include <locale.h>
#else
#include <locale.h>
#endif

namespace kw {

CLocale::CLocale() {
#if defined(_WIN32)
  handle_ = _create_locale(LC_ALL, "C");
#else
  handle_ = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
#endif
}

CLocale::~CLocale() {
#if defined(_WIN32)
  if (handle_) _free_locale(static_cast<_locale_t>(handle_));
#else
  if (handle_) freelocale(static_cast<locale_t>(handle_));
#endif
}

int CLocale::FormatV(char* out, std::size_t size, const char* format, va_list args) const {
#if defined(_WIN32)
  if (handle_) return _vsnprintf_l(out, size, format, static_cast<_locale_t>(handle_), args);
  return std::vsnprintf(out, size, format, args);
#else
  if (!handle_) return std::vsnprintf(out, size, format, args);
  const locale_t previous = uselocale(static_cast<locale_t>(handle_));
  const int length = std::vsnprintf(out, size, format, args);
  uselocale(previous);
  return length;
#endif
}

int CLocale::Format(char* out, std::size_t size, const char* format, ...) const {
  va_list args;
  va_start(args, format);
  const int length = FormatV(out, size, format, args);
  va_end(args);
  return length;
}

const CLocale& CLocale::Shared() {
  static const CLocale locale;
  return locale;
}

}  // namespace kw
