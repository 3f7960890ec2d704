#include "wire.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

void Writer::u32(std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void Writer::text(const std::string& value) {
  u32(static_cast<std::uint32_t>(value.size()));
  bytes += value;
}

std::optional<std::uint32_t> Reader::u32() {
  if (bytes.size() - at < 4) return std::nullopt;
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  }
  at += 4;
  return value;
}

std::optional<std::string> Reader::text() {
  const auto size = u32();
  if (!size || bytes.size() - at < *size) return std::nullopt;
  std::string value = bytes.substr(at, *size);
  at += *size;
  return value;
}

void Writer::texts(const std::vector<std::string>& values) {
  u32(static_cast<std::uint32_t>(values.size()));
  for (const std::string& value : values) text(value);
}

std::optional<std::vector<std::string>> Reader::texts() {
  const auto count = u32();
  if (!count) return std::nullopt;
  std::vector<std::string> values;
  for (std::uint32_t i = 0; i < *count; ++i) {
    auto value = text();
    if (!value) return std::nullopt;
    values.push_back(std::move(*value));
  }
  return values;
}

bool sendAll(int fd, const std::string& bytes, int passFd) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    iovec part{const_cast<char*>(bytes.data() + done), bytes.size() - done};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    if (passFd != -1 && done == 0) {
      message.msg_control = control;
      message.msg_controllen = sizeof control;
      cmsghdr* header = CMSG_FIRSTHDR(&message);
      header->cmsg_level = SOL_SOCKET;
      header->cmsg_type = SCM_RIGHTS;
      header->cmsg_len = CMSG_LEN(sizeof(int));
      std::memcpy(CMSG_DATA(header), &passFd, sizeof(int));
    }
    const ssize_t sent = sendmsg(fd, &message, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    done += static_cast<std::size_t>(sent);
  }
  return true;
}

std::optional<std::string> receiveExactly(int fd, std::size_t count, int* receivedFd) {
  std::string bytes(count, '\0');
  std::size_t done = 0;
  while (done < count) {
    iovec part{bytes.data() + done, count - done};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t got = recvmsg(fd, &message, MSG_CMSG_CLOEXEC);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::nullopt;
    for (cmsghdr* h = CMSG_FIRSTHDR(&message); h; h = CMSG_NXTHDR(&message, h)) {
      if (h->cmsg_level != SOL_SOCKET || h->cmsg_type != SCM_RIGHTS) continue;
      const std::size_t fds = (h->cmsg_len - CMSG_LEN(0)) / sizeof(int);
      for (std::size_t i = 0; i < fds; ++i) {
        int passed;
        std::memcpy(&passed, CMSG_DATA(h) + i * sizeof(int), sizeof(int));
        if (receivedFd && *receivedFd == -1) {
          *receivedFd = passed;
        } else {
          close(passed);
        }
      }
    }
    done += static_cast<std::size_t>(got);
  }
  return bytes;
}

bool sendMessage(int fd, const std::string& payload, int passFd) {
  Writer length;
  length.u32(static_cast<std::uint32_t>(payload.size()));
  return sendAll(fd, length.bytes + payload, passFd);
}

std::optional<std::string> receiveMessage(int fd, std::size_t maxBytes, int* receivedFd) {
  const auto header = receiveExactly(fd, 4, receivedFd);
  if (!header) return std::nullopt;
  Reader reader{*header};
  const auto size = reader.u32();
  if (!size || *size > maxBytes) return std::nullopt;
  return receiveExactly(fd, *size, receivedFd);
}
