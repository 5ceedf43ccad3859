#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <thread>

#include "app/ui/stdout_tap.h"

namespace zorbel {

namespace {
constexpr int kStdout = 1;
constexpr unsigned kPipeSize = 4096;
}  // namespace

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
  if (_pipe(fds, kPipeSize, _O_BINARY | _O_NOINHERIT) != 0) return false;
  std::fflush(stdout);
  const int saved = _dup(kStdout);
  if (saved < 0 || _dup2(fds[1], kStdout) < 0) {
    if (saved >= 0) _close(saved);
    _close(fds[0]);
    _close(fds[1]);
    return false;
  }
  _close(fds[1]);
  // Lines should show up as they are written, not when a buffer fills.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  impl_->savedStdout = saved;
  impl_->readEnd = fds[0];
  impl_->reader = std::thread([readEnd = fds[0], saved, sink = std::move(sink)] {
    char buf[kPipeSize];
    for (;;) {
      const int n = _read(readEnd, buf, sizeof buf);
      if (n <= 0) break;
      int done = 0;
      while (done < n) {
        const int w = _write(saved, buf + done, static_cast<unsigned>(n - done));
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
  _dup2(impl_->savedStdout, kStdout);
  impl_->reader.join();
  _close(impl_->readEnd);
  _close(impl_->savedStdout);
  impl_->readEnd = -1;
  impl_->savedStdout = -1;
}

}  // namespace zorbel
