// The engine server's messages on a Unix stream socket: integers as four
// bytes, little-endian; strings as a length and their bytes; a descriptor
// passed beside the bytes (SCM_RIGHTS).
#ifndef XSLVALIDATE_SERVERPROTOCOL_WIRE_H_
#define XSLVALIDATE_SERVERPROTOCOL_WIRE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Greeting and version of the conversation; a client and server of other
// versions never get past the greeting.
inline constexpr char kServerGreeting[] = "XSLV";
inline constexpr std::uint32_t kProtocolVersion = 3;

// One byte the server sends: greeting accepted or refused, run started,
// run ended (followed by its status), run handed back (nothing of it
// reached the caller: the caller runs it itself).
inline constexpr char kAccepted = 'Y';
inline constexpr char kRefused = 'N';
inline constexpr char kRunStarted = 'S';
inline constexpr char kRunEnded = 'E';
inline constexpr char kRunHandedBack = 'P';

// A message being built.
struct Writer {
  std::string bytes;
  void u32(std::uint32_t value);
  void text(const std::string& value);
  void texts(const std::vector<std::string>& values);  // a count, then each
};

// A received message being read; every read fails (nullopt) past its end.
struct Reader {
  const std::string& bytes;
  std::size_t at = 0;
  std::optional<std::uint32_t> u32();
  std::optional<std::string> text();
  std::optional<std::vector<std::string>> texts();
};

// Writes all of `bytes` to `fd` (no SIGPIPE), with `passFd` attached when it
// is not -1. False when the peer has gone or on any error.
bool sendAll(int fd, const std::string& bytes, int passFd = -1);

// Reads exactly `count` bytes. nullopt on end of stream or error. When
// `receivedFd` is given, a descriptor that came with the bytes is stored
// there (else it stays -1); any other descriptor is closed.
std::optional<std::string> receiveExactly(int fd, std::size_t count, int* receivedFd = nullptr);

// A length-prefixed message: sends the length and then `payload`.
bool sendMessage(int fd, const std::string& payload, int passFd = -1);

// Receives one message sent by sendMessage, at most `maxBytes` long.
std::optional<std::string> receiveMessage(int fd, std::size_t maxBytes, int* receivedFd = nullptr);

#endif  // XSLVALIDATE_SERVERPROTOCOL_WIRE_H_
