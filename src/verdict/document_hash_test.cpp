#include "verdict/document_hash.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string hex(const std::array<std::uint8_t, 32>& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::uint8_t byte : digest) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 15];
  }
  return out;
}

// The FIPS 180-4 examples, and lengths around the padding's block edge.
TEST(DocumentHash, Sha256OfKnownMessagesWhateverThePieces) {
  struct Case { std::string message; const char* digest; };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    Sha256 whole;
    whole.add(c.message);
    EXPECT_EQ(c.digest, hex(whole.finish())) << c.message.size();
    Sha256 pieces;  // in uneven pieces
    for (size_t at = 0; at < c.message.size(); at += 61)
      pieces.add(std::string_view(c.message).substr(at, 61));
    EXPECT_EQ(c.digest, hex(pieces.finish())) << c.message.size();
  }
}

TEST(DocumentHash, Base64WithPadding) {
  EXPECT_EQ("", base64(""));
  EXPECT_EQ("Zg==", base64("f"));
  EXPECT_EQ("Zm8=", base64("fo"));
  EXPECT_EQ("Zm9v", base64("foo"));
  EXPECT_EQ("Zm9vYmFy", base64("foobar"));
  EXPECT_EQ("/+8=", base64("\xFF\xEF"));
}

}  // namespace
