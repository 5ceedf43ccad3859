// A signal handler may only do async-signal-safe things, so it writes one
// byte into a pipe and a thread of the watch sets the abort event.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "app/file_replace.h"
#include "interrupt.h"

namespace zorbel::cli {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM};
constexpr char kInterrupt = 'i';
constexpr char kTerminate = 't';
constexpr char kStop = 's';

int gWakeFd = -1;
std::atomic<bool> gRunStopsOnAbort{true};

void OnSignal(int signal) {
  const int saved = errno;
  const char byte = signal == SIGTERM ? kTerminate : kInterrupt;
  [[maybe_unused]] const ssize_t n = write(gWakeFd, &byte, 1);
  errno = saved;
}

}  // namespace

struct InterruptWatch::Impl {
  int pipe[2] = {-1, -1};
  struct sigaction earlier[2] = {};
  std::thread reader;
};

InterruptWatch::InterruptWatch(AbortEvent& abort) : impl_(new Impl) {
  if (::pipe(impl_->pipe) != 0) return;  // no watch: Ctrl+C ends the run as it always did
  for (int fd : impl_->pipe) fcntl(fd, F_SETFD, FD_CLOEXEC);
  gWakeFd = impl_->pipe[1];
  impl_->reader = std::thread([fd = impl_->pipe[0], &abort] {
    char byte = 0;
    for (;;) {
      const ssize_t n = read(fd, &byte, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n != 1 || byte == kStop) return;
      abort.Set();
      if (!gRunStopsOnAbort) {
        RemoveUnfinishedFiles();
        const int signal = byte == kTerminate ? SIGTERM : SIGINT;
        ::signal(signal, SIG_DFL);
        raise(signal);
        _exit(128 + signal);
      }
    }
  });
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // Back to the default after the first: a second Ctrl+C ends the process.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  for (int i = 0; i < 2; ++i) sigaction(kSignals[i], &action, &impl_->earlier[i]);
}

void InterruptWatch::SetRunStopsOnAbort(bool stops) { gRunStopsOnAbort = stops; }

InterruptWatch::~InterruptWatch() {
  if (impl_->reader.joinable()) {
    for (int i = 0; i < 2; ++i) sigaction(kSignals[i], &impl_->earlier[i], nullptr);
    const char byte = kStop;
    while (write(impl_->pipe[1], &byte, 1) < 0 && errno == EINTR) {
    }
    impl_->reader.join();
    gWakeFd = -1;
  }
  for (int fd : impl_->pipe) {
    if (fd >= 0) close(fd);
  }
  delete impl_;
}

}  // namespace zorbel::cli
