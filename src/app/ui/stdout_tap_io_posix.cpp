#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "app/ui/stdout_tap_io.h"

namespace zorbel::tap_io {

bool MakePipe(int fds[2]) {
  if (pipe(fds) != 0) return false;
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  fcntl(fds[1], F_SETFD, FD_CLOEXEC);
  return true;
}

int Duplicate(int fd) { return fcntl(fd, F_DUPFD_CLOEXEC, 0); }

bool Redirect(int from, int to) { return dup2(from, to) >= 0; }

long ReadSome(int fd, char* buf, size_t size) {
  for (;;) {
    const ssize_t n = read(fd, buf, size);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

long WriteSome(int fd, const char* buf, size_t size) { return static_cast<long>(write(fd, buf, size)); }

void CloseFd(int fd) { close(fd); }

void LineBufferStdout() { std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ); }

}  // namespace zorbel::tap_io
