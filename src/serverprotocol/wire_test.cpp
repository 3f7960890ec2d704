#include "wire.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace {

using namespace std::string_literals;

// A connected pair of Unix stream sockets, closed when done.
struct SocketPair {
  int ends[2] = {-1, -1};
  SocketPair() { EXPECT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends)); }
  ~SocketPair() {
    for (int fd : ends)
      if (fd >= 0) close(fd);
  }
  void closeSender() {
    close(ends[0]);
    ends[0] = -1;
  }
};

// Number of descriptors this process has open.
int openDescriptors() {
  int count = 0;
  for (int fd = 0; fd < 1024; ++fd)
    if (fcntl(fd, F_GETFD) != -1) ++count;
  return count;
}

TEST(Wire, WrittenValuesReadBackInOrder) {
  Writer writer;
  writer.u32(0);
  writer.u32(0xFFFFFFFFu);
  writer.text("");
  writer.text("a\0b\xFF"s);
  writer.u32(0x01020304u);
  EXPECT_EQ("\x04\x03\x02\x01"s, writer.bytes.substr(writer.bytes.size() - 4));  // little-endian

  Reader reader{writer.bytes};
  EXPECT_EQ(0u, reader.u32());
  EXPECT_EQ(0xFFFFFFFFu, reader.u32());
  EXPECT_EQ("", reader.text());
  EXPECT_EQ("a\0b\xFF"s, reader.text());
  EXPECT_EQ(0x01020304u, reader.u32());
  EXPECT_FALSE(reader.u32()) << "nothing is read past the end";
}

TEST(Wire, ReaderNeverReadsPastTheMessage) {
  struct Case {
    std::string bytes;
    bool asText;
    const char* what;
  };
  const Case cases[] = {
      {"", false, "no byte for an integer"},
      {"\x01\x02\x03"s, false, "three bytes for an integer"},
      {"\x01\x00\x00"s, true, "a length cut short"},
      {"\x05\x00\x00\x00" "abcd"s, true, "a string one byte short"},
      {"\xFF\xFF\xFF\xFF" "abcd"s, true, "a length far beyond the message"},
      {"\xFC\xFF\xFF\xFF" "abcd"s, true, "a length that wraps around with the position"},
  };
  for (const Case& c : cases) {
    Reader reader{c.bytes};
    if (c.asText) {
      EXPECT_FALSE(reader.text()) << c.what;
    } else {
      EXPECT_FALSE(reader.u32()) << c.what;
    }
  }
}

TEST(Wire, MessageSizeIsCapped) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{10}, std::size_t{11}}) {
    SocketPair pair;
    ASSERT_TRUE(sendMessage(pair.ends[0], std::string(size, 'x')));
    const auto received = receiveMessage(pair.ends[1], 10);
    if (size <= 10) {
      ASSERT_TRUE(received) << size;
      EXPECT_EQ(std::string(size, 'x'), *received);
    } else {
      EXPECT_FALSE(received) << "a message above the cap is refused, not read";
    }
  }
}

TEST(Wire, MessageCutShortIsNoMessage) {
  SocketPair pair;
  Writer length;
  length.u32(10);
  ASSERT_TRUE(sendAll(pair.ends[0], length.bytes + "12345"));
  pair.closeSender();
  EXPECT_FALSE(receiveMessage(pair.ends[1], 100));
}

TEST(Wire, DescriptorTravelsWithTheMessage) {
  int pipeEnds[2];
  ASSERT_EQ(0, pipe2(pipeEnds, O_CLOEXEC));
  SocketPair pair;
  ASSERT_TRUE(sendMessage(pair.ends[0], "payload", pipeEnds[1]));
  close(pipeEnds[1]);
  int received = -1;
  const auto message = receiveMessage(pair.ends[1], 100, &received);
  ASSERT_TRUE(message);
  EXPECT_EQ("payload", *message);
  ASSERT_GE(received, 0);
  EXPECT_EQ(FD_CLOEXEC, fcntl(received, F_GETFD) & FD_CLOEXEC) << "received close-on-exec";
  ASSERT_EQ(5, write(received, "hello", 5));
  close(received);
  char text[8] = {};
  EXPECT_EQ(5, read(pipeEnds[0], text, sizeof text));
  EXPECT_STREQ("hello", text);
  EXPECT_EQ(0, read(pipeEnds[0], text, sizeof text)) << "no copy of the write end is left open";
  close(pipeEnds[0]);
}

TEST(Wire, DescriptorNobodyAskedForIsClosed) {
  const int before = openDescriptors();
  int pipeEnds[2];
  ASSERT_EQ(0, pipe2(pipeEnds, O_CLOEXEC));
  {
    SocketPair pair;
    ASSERT_TRUE(sendMessage(pair.ends[0], "one", pipeEnds[1]));
    ASSERT_TRUE(sendMessage(pair.ends[0], "two", pipeEnds[1]));
    EXPECT_TRUE(receiveMessage(pair.ends[1], 100));  // not asked for
    int received = -1;
    EXPECT_TRUE(receiveMessage(pair.ends[1], 100, &received));
    ASSERT_GE(received, 0);
    close(received);
    int none = -1;
    ASSERT_TRUE(sendMessage(pair.ends[0], "three"));
    EXPECT_TRUE(receiveMessage(pair.ends[1], 100, &none));
    EXPECT_EQ(-1, none) << "no descriptor came with the message";
  }
  close(pipeEnds[1]);
  char byte;
  EXPECT_EQ(0, read(pipeEnds[0], &byte, 1)) << "every passed copy of the write end is closed";
  close(pipeEnds[0]);
  EXPECT_EQ(before, openDescriptors());
}

}  // namespace
