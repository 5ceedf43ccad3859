#pragma once
// The test's end of a COM-port line: plain POSIX calls on the pseudo-terminal
// slave, not the tool's serial port.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "board_test_util.h"

namespace zorbel::sim::test {

class Line {
 public:
  explicit Line(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd_ >= 0) {
      termios t{};
      tcgetattr(fd_, &t);
      cfmakeraw(&t);
      tcsetattr(fd_, TCSANOW, &t);
    }
  }
  ~Line() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  bool Write(const Bytes& b) {
    size_t done = 0;
    while (done < b.size()) {
      ssize_t n = write(fd_, b.data() + done, b.size() - done);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }
  // Up to n bytes, waiting at most ms for the rest.
  Bytes Read(size_t n, int ms = 3000) {
    Bytes out;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (out.size() < n) {
      int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())
              .count());
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, left) <= 0) break;
      if (p.revents & (POLLHUP | POLLERR)) break;
      uint8_t buf[8192];
      ssize_t k = read(fd_, buf, std::min(sizeof buf, n - out.size()));
      if (k <= 0) break;
      out.insert(out.end(), buf, buf + k);
    }
    return out;
  }
  std::optional<uint32_t> Word(int ms = 3000) {
    Bytes b = Read(4, ms);
    if (b.size() != 4) return std::nullopt;
    return Get32(b.data());
  }
  uint8_t Choose(uint8_t method) {
    Write({0xB0, static_cast<uint8_t>(0x80 + method)});
    Bytes r = Read(2);
    return r.size() == 2 && r[0] == 0x80 + method ? r[1] : 0;
  }
  // The first word the board answers a head with.
  std::optional<uint32_t> Start(uint8_t method, const Bytes& head) {
    Choose(method);
    Write(head);
    return Word();
  }
  // Sends data in 4096-byte chunks; the acknowledgements received.
  std::vector<uint32_t> SendChunks(const Bytes& data) {
    std::vector<uint32_t> acks;
    for (size_t at = 0; at < data.size(); at += 4096) {
      size_t n = std::min<size_t>(4096, data.size() - at);
      Write(Bytes(data.begin() + static_cast<std::ptrdiff_t>(at),
                  data.begin() + static_cast<std::ptrdiff_t>(at + n)));
      auto w = Word();
      if (!w) break;
      acks.push_back(*w);
    }
    return acks;
  }
  // Status words until 100 or an error bit; empty on a short read.
  std::vector<uint32_t> StatusWords(uint32_t mask) {
    std::vector<uint32_t> words;
    while (auto w = Word()) {
      words.push_back(*w);
      if ((*w & 0xFFFF0000u) || (*w & mask) == 100) break;
    }
    return words;
  }
  // Receives `total` bytes as a verify does, answering each chunk with its verdict.
  Bytes Verify(size_t total, const Bytes* expected = nullptr) {
    Bytes all;
    while (all.size() < total) {
      size_t n = std::min<size_t>(4096, total - all.size());
      Bytes chunk = Read(n);
      if (chunk.size() != n) break;
      bool same = !expected || std::equal(chunk.begin(), chunk.end(),
                                          expected->begin() + static_cast<std::ptrdiff_t>(all.size()));
      all.insert(all.end(), chunk.begin(), chunk.end());
      Bytes verdict;
      Append32(verdict, same ? static_cast<uint32_t>(n) : 0);
      Write(verdict);
      if (!same) break;
    }
    return all;
  }

 private:
  int fd_ = -1;
};

}  // namespace zorbel::sim::test
