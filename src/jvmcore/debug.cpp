#include "debug.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool debugging() {
  static const bool on = [] {
    const char* value = std::getenv("XSLVALIDATE_DEBUG");
    return value && std::strcmp(value, "1") == 0;
  }();
  return on;
}

void debugLine(const char* format, ...) {
  if (!debugging()) return;
  char text[1024];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  // One write for the whole line, so lines of several threads do not mix.
  std::fprintf(stderr, "xslvalidate debug: %s\n", text);
}
