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
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      pollfd p{fd_, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0 ||
          (p.revents & (POLLHUP | POLLERR)))
        break;
      uint8_t buf[8192];
      ssize_t k = read(fd_, buf, std::min(sizeof buf, n - out.size()));
      if (k <= 0) break;
      out.insert(out.end(), buf, buf + k);
    }
    return out;
  }
  std::optional<uint32_t> Word(int ms = 3000) {
    const Bytes b = Read(4, ms);
    if (b.size() != 4) return std::nullopt;
    return Le32(b, 0);
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

 private:
  int fd_ = -1;
};

}  // namespace zorbel::sim::test
