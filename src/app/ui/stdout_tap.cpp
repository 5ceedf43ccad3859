#include "app/ui/stdout_tap.h"

#include <cstdio>
#include <thread>

#include "app/ui/stdout_tap_io.h"

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
  using namespace tap_io;
  if (Running()) return true;
  int fds[2];
  if (!MakePipe(fds)) return false;
  std::fflush(stdout);
  const int saved = Duplicate(kStdout);
  if (saved < 0 || !Redirect(fds[1], kStdout)) {
    if (saved >= 0) CloseFd(saved);
    CloseFd(fds[0]);
    CloseFd(fds[1]);
    return false;
  }
  CloseFd(fds[1]);
  // Lines should show up as they are written, not when a buffer fills.
  LineBufferStdout();
  impl_->savedStdout = saved;
  impl_->readEnd = fds[0];
  impl_->reader = std::thread([readEnd = fds[0], saved, sink = std::move(sink)] {
    char buf[4096];
    for (;;) {
      const long n = ReadSome(readEnd, buf, sizeof buf);
      if (n <= 0) break;
      // What was diverted still reaches the old standard output.
      for (long done = 0; done < n;) {
        const long w = WriteSome(saved, buf + done, static_cast<size_t>(n - done));
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
  tap_io::Redirect(impl_->savedStdout, tap_io::kStdout);
  impl_->reader.join();
  tap_io::CloseFd(impl_->readEnd);
  tap_io::CloseFd(impl_->savedStdout);
  impl_->readEnd = -1;
  impl_->savedStdout = -1;
}

}  // namespace zorbel
