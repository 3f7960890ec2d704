// Test helper: every short text over a small alphabet, for checking that a
// property of the path grammar holds for all of them, not just for the
// cases someone thought of.
#ifndef XSLVALIDATE_PATH_SHORT_TEXTS_TEST_SUPPORT_H_
#define XSLVALIDATE_PATH_SHORT_TEXTS_TEST_SUPPORT_H_

#include <string>
#include <string_view>
#include <vector>

// All texts of length 0 to `maxLength` whose code units come from
// `alphabet`, shortest first.
inline std::vector<std::u16string> shortTexts(std::u16string_view alphabet,
                                              size_t maxLength) {
  std::vector<std::u16string> texts = {u""};
  for (size_t from = 0; from < texts.size(); ++from) {
    if (texts[from].size() == maxLength)
      continue;
    for (char16_t c : alphabet)
      texts.push_back(texts[from] + c);
  }
  return texts;
}

#endif  // XSLVALIDATE_PATH_SHORT_TEXTS_TEST_SUPPORT_H_
