#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "app/ui/stdout_tap.h"

namespace zorbel {

struct StdoutTap::Impl {
  int savedStdout = -1;
  int readEnd = -1;
  std::thread reader;
};

StdoutTap::StdoutTap() : impl_(std::make_unique<Impl>()) {}

StdoutTap::~StdoutTap() { Stop(); }

bool StdoutTap::Running() const { return impl_->reader.joinable(); }

bool StdoutTap::Start(Sink sink) {
  if (Running()) return true;
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  if (saved < 0 || dup2(fds[1], STDOUT_FILENO) < 0) {
    if (saved >= 0) close(saved);
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  close(fds[1]);
  fcntl(saved, F_SETFD, FD_CLOEXEC);
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  // Lines should show up as they are written, not when a buffer fills.
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  impl_->savedStdout = saved;
  impl_->readEnd = fds[0];
  impl_->reader = std::thread([readEnd = fds[0], saved, sink = std::move(sink)] {
    char buf[4096];
    for (;;) {
      const ssize_t n = read(readEnd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      ssize_t done = 0;
      while (done < n) {
        const ssize_t w = write(saved, buf + done, static_cast<size_t>(n - done));
        if (w <= 0) break;
        done += w;
      }
      sink(std::string(buf, static_cast<size_t>(n)));
    }
  });
  return true;
}

void StdoutTap::Stop() {
  if (!Running()) return;
  std::fflush(stdout);
  // Once standard output is back, nobody holds the pipe's write end and the
  // reader sees its end.
  dup2(impl_->savedStdout, STDOUT_FILENO);
  impl_->reader.join();
  close(impl_->readEnd);
  close(impl_->savedStdout);
  impl_->readEnd = -1;
  impl_->savedStdout = -1;
}

}  // namespace zorbel
