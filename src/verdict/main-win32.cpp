// Entry point of xslvalidate-verdict on Windows: arguments arrive as UTF-16
// text through the wide-character entry point. Output is UTF-8 bytes.
#include <string>
#include <vector>

#include "verdict/verdict.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::u16string> arguments;
  arguments.reserve(argc);
  for (int i = 0; i < argc; ++i)
    arguments.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  return runVerdict(arguments);
}
