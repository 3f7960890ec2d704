// The document's SHA-256 digest, as the validation report identifies the
// document by it: computed here, so that both hosts give the same value
// without a library of the platform.
#ifndef XSLVALIDATE_VERDICT_DOCUMENT_HASH_H_
#define XSLVALIDATE_VERDICT_DOCUMENT_HASH_H_

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// SHA-256 over bytes given in pieces of any size (FIPS 180-4).
class Sha256 {
 public:
  Sha256();
  void add(std::string_view bytes);
  // The digest of everything added; the object is spent afterwards.
  std::array<std::uint8_t, 32> finish();

 private:
  void block(const std::uint8_t* data);
  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t length_ = 0;
};

// `bytes` in base64 (RFC 4648, with padding).
std::string base64(std::string_view bytes);

// The base64 SHA-256 of everything `file` holds from where it stands;
// empty text when it cannot be read to its end.
std::string sha256Base64(std::FILE* file);

#endif  // XSLVALIDATE_VERDICT_DOCUMENT_HASH_H_
