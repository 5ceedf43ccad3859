// SerialPort on a POSIX tty (device nodes and pseudo-terminals alike).
// The descriptor is always non-blocking; every wait is a poll on the port and
// on a wake-up pipe, so Close from another thread ends a blocked call at once.
// Close waits until no thread is inside a call before it releases the
// descriptor, so a reused descriptor number never receives board data.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "app/system_error.h"
#include "link/serial_port.h"
#include "link/serial_port_common.h"

namespace zorbel {

using namespace serial_common;
using SteadyClock = std::chrono::steady_clock;

namespace {

uint32_t LastErrno() { return WindowsCodeFromErrno(errno); }

std::optional<speed_t> SpeedFor(uint32_t baud) {
  switch (baud) {
    case 300:
      return B300;
    case 600:
      return B600;
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    case 460800:
      return B460800;
    case 921600:
      return B921600;
    default:
      return std::nullopt;
  }
}

// Remaining milliseconds until deadline for poll (rounded up), or -1 without one.
int PollTimeout(const std::optional<SteadyClock::time_point>& deadline) {
  if (!deadline) return -1;
  const auto left = *deadline - SteadyClock::now();
  if (left <= SteadyClock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::min<int64_t>(ms, 1 << 30));
}

bool Passed(const std::optional<SteadyClock::time_point>& deadline) {
  return deadline && SteadyClock::now() >= *deadline;
}

std::optional<SteadyClock::time_point> DeadlineAfter(SteadyClock::time_point start, uint64_t ms) {
  return start + std::chrono::milliseconds(ms);
}

}  // namespace

struct SerialPort::Impl {
  std::mutex mutex;
  std::condition_variable idle;
  int fd = -1;
  int wakeRead = -1;
  int wakeWrite = -1;
  int inside = 0;        // threads inside a read, write or wait
  bool closing = false;  // Close has begun: no new calls

  // The line settings as the Windows control block and time-outs hold them.
  uint32_t baud = 0;
  uint8_t dataBits = 0;
  uint8_t parity = 0;
  uint8_t stopBits = 0;
  uint32_t flags = dcb::kBinary;
  CommTimeouts timeouts;
  uint32_t portMask = 0;   // the events waited for
  uint32_t eventMask = 0;  // what GetEventMask answers: the mask, or the last events seen
  uint8_t eventChar = 0;

  std::atomic<uint32_t> lastError{0};

  // Keeps the descriptor alive while a read, write or wait runs outside the lock.
  class Lease {
   public:
    explicit Lease(Impl& impl) : impl_(impl) {
      std::lock_guard<std::mutex> lock(impl_.mutex);
      if (impl_.fd < 0 || impl_.closing) return;
      ++impl_.inside;
      fd_ = impl_.fd;
      wake_ = impl_.wakeRead;
    }
    ~Lease() {
      if (fd_ < 0) return;
      std::lock_guard<std::mutex> lock(impl_.mutex);
      if (--impl_.inside == 0) impl_.idle.notify_all();
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // Waits for events on the port. 1: ready, 0: deadline passed, -1: closed
    // under us (995), -2: poll failed (errno set).
    int Wait(short events, const std::optional<SteadyClock::time_point>& deadline) const {
      for (;;) {
        pollfd fds[2] = {{fd_, events, 0}, {wake_, POLLIN, 0}};
        const int n = poll(fds, 2, PollTimeout(deadline));
        if (n < 0) {
          if (errno == EINTR) continue;
          return -2;
        }
        if (fds[1].revents != 0) return -1;
        if (n == 0) return 0;
        return 1;  // includes POLLERR/POLLHUP: the next read or write reports them
      }
    }

   private:
    Impl& impl_;
    int fd_ = -1;
    int wake_ = -1;
  };

  // Applies the flag word's flow control to termios.
  uint32_t ApplyFlowControl(uint32_t newFlags) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return LastErrno();
    const bool hardware =
        (newFlags & dcb::kOutxCtsFlow) != 0 || (newFlags & dcb::kRtsControlMask) == dcb::kRtsControlHandshake;
    if (hardware) {
      tio.c_cflag |= CRTSCTS;
    } else {
      tio.c_cflag &= ~CRTSCTS;
    }
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (newFlags & dcb::kOutX) tio.c_iflag |= IXON;
    if (newFlags & dcb::kInX) tio.c_iflag |= IXOFF;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) return LastErrno();
    flags = newFlags;
    return win_error::kSuccess;
  }
};

SerialPort::SerialPort() : impl_(std::make_unique<Impl>()) {}

SerialPort::~SerialPort() { Close(); }

uint32_t SerialPort::RecordError(uint32_t code) {
  impl_->lastError.store(code, std::memory_order_relaxed);
  return code;
}

uint32_t SerialPort::LastError() const { return impl_->lastError.load(std::memory_order_relaxed); }

bool SerialPort::IsOpen() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->fd >= 0 && !impl_->closing;
}

uint32_t SerialPort::Open(const std::string& path, uint32_t /*inQueue*/, uint32_t /*outQueue*/) {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->fd >= 0 || impl_->closing) return RecordError(win_error::kAlreadyInitialized);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return RecordError(LastErrno());
    // No sharing: a second opener (another writer instance) is turned away.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const uint32_t error = errno == EWOULDBLOCK ? win_error::kAccessDenied : LastErrno();
      ::close(fd);
      return RecordError(error);
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
      const uint32_t error = LastErrno();
      ::close(fd);
      return RecordError(error);
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    // With VMIN 1 an empty non-blocking read gives EAGAIN; 0 then means hang-up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    int wake[2];
    if (tcsetattr(fd, TCSANOW, &tio) != 0 || pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
      const uint32_t error = LastErrno();
      ::close(fd);
      return RecordError(error);
    }
    // Kernel queues have fixed sizes; the requested ones need no action here.
    impl_->fd = fd;
    impl_->wakeRead = wake[0];
    impl_->wakeWrite = wake[1];
    impl_->flags = dcb::kBinary;
    impl_->timeouts = CommTimeouts{};
  }
  return ApplyDefaults();
}

uint32_t SerialPort::Close() {
  std::unique_lock<std::mutex> lock(impl_->mutex);
  if (impl_->fd < 0) return RecordError(win_error::kSuccess);
  if (impl_->closing) {
    // Another thread is closing: return once it is done.
    impl_->idle.wait(lock, [this] { return impl_->fd < 0; });
    return RecordError(win_error::kSuccess);
  }
  impl_->closing = true;
  const char wake = 1;
  // The pipe is non-blocking and read by no one; one byte is enough.
  [[maybe_unused]] const ssize_t n = ::write(impl_->wakeWrite, &wake, 1);
  impl_->idle.wait(lock, [this] { return impl_->inside == 0; });
  ::close(impl_->fd);
  ::close(impl_->wakeRead);
  ::close(impl_->wakeWrite);
  impl_->fd = impl_->wakeRead = impl_->wakeWrite = -1;
  impl_->closing = false;
  impl_->portMask = impl_->eventMask = 0;
  impl_->eventChar = 0;
  impl_->idle.notify_all();
  return RecordError(win_error::kSuccess);
}

uint32_t SerialPort::Setup(uint32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->fd < 0 || impl_->closing) return RecordError(win_error::kInvalidHandle);
  const auto speed = SpeedFor(baud);
  // One and a half stop bits and parities beyond space have no termios form.
  if (!speed || dataBits < 5 || dataBits > 8 || parity > 4 || (stopBits != 0 && stopBits != 2)) {
    return RecordError(win_error::kInvalidParameter);
  }
  termios tio{};
  if (tcgetattr(impl_->fd, &tio) != 0) return RecordError(LastErrno());
  cfsetispeed(&tio, *speed);
  cfsetospeed(&tio, *speed);
  constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  tio.c_cflag = (tio.c_cflag & ~CSIZE) | kSizes[dataBits - 5];
  tio.c_cflag &= ~(PARENB | PARODD | CMSPAR | CSTOPB);
  switch (parity) {
    case 1:
      tio.c_cflag |= PARENB | PARODD;
      break;  // odd
    case 2:
      tio.c_cflag |= PARENB;
      break;  // even
    case 3:
      tio.c_cflag |= PARENB | PARODD | CMSPAR;
      break;  // mark
    case 4:
      tio.c_cflag |= PARENB | CMSPAR;
      break;  // space
    default:
      break;
  }
  if (stopBits == 2) tio.c_cflag |= CSTOPB;
  if (parity != 0) {
    tio.c_iflag |= INPCK;
  } else {
    tio.c_iflag &= ~INPCK;
  }
  if (tcsetattr(impl_->fd, TCSANOW, &tio) != 0) return RecordError(LastErrno());
  impl_->baud = baud;
  impl_->dataBits = dataBits;
  impl_->parity = parity;
  impl_->stopBits = stopBits;
  if (parity != 0) {
    impl_->flags |= dcb::kParity;
  } else {
    impl_->flags &= ~dcb::kParity;
  }
  return RecordError(win_error::kSuccess);
}

uint32_t SerialPort::SetEventChar(uint8_t ch, bool adjustMask) {
  uint32_t mask = 0;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->fd < 0 || impl_->closing) return RecordError(win_error::kInvalidHandle);
    impl_->eventChar = ch;
    mask = impl_->eventMask;
  }
  if (adjustMask) return SetMask(mask | kEventRxFlag);
  return RecordError(win_error::kSuccess);
}

uint32_t SerialPort::SetMask(uint32_t mask) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->fd < 0 || impl_->closing) return RecordError(win_error::kInvalidHandle);
  impl_->portMask = mask;
  impl_->eventMask = mask;
  return RecordError(win_error::kSuccess);
}

uint32_t SerialPort::SetupHandshaking(int mode) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->fd < 0 || impl_->closing) return RecordError(win_error::kInvalidHandle);
  uint32_t flags = impl_->flags;
  if (!ApplyHandshakingMode(flags, mode)) return RecordError(win_error::kInvalidArg);
  return RecordError(impl_->ApplyFlowControl(flags));
}

uint32_t SerialPort::SetupReadTimeouts(int mode, uint32_t ms) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->fd < 0 || impl_->closing) return RecordError(win_error::kInvalidHandle);
  if (!ApplyReadTimeoutMode(impl_->timeouts, mode, ms)) return RecordError(win_error::kInvalidArg);
  return RecordError(win_error::kSuccess);
}

int32_t SerialPort::GetBaudrate() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->fd < 0 ? -1 : static_cast<int32_t>(impl_->baud);
}

int32_t SerialPort::GetDataBits() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->fd < 0 ? -1 : impl_->dataBits;
}

int32_t SerialPort::GetParity() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->fd < 0) return -1;
  return (impl_->flags & dcb::kParity) ? impl_->parity : 0;
}

int32_t SerialPort::GetStopBits() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->fd < 0 ? -1 : impl_->stopBits;
}

int32_t SerialPort::GetHandshaking() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->fd < 0 ? -1 : HandshakingFromFlags(impl_->flags);
}

uint32_t SerialPort::GetEventMask() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->fd < 0 ? 0 : impl_->eventMask;
}

uint8_t SerialPort::GetEventChar() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->fd < 0 ? 0 : impl_->eventChar;
}

namespace {

// A caller's record is completed before returning: this backend has no
// background transfers.
uint32_t Complete(SerialOverlapped* ov, uint32_t count, uint32_t error) {
  if (ov != nullptr) {
    ov->transferred = count;
    ov->error = error;
    ov->pending = false;
  }
  return error;
}

}  // namespace

uint32_t SerialPort::Write(const void* buf, uint32_t len, uint32_t* written, SerialOverlapped* ov,
                           uint32_t timeoutMs) {
  uint32_t count = 0;
  uint32_t* out = written != nullptr ? written : &count;
  *out = 0;
  Impl::Lease lease(*impl_);
  if (!lease.valid()) return RecordError(Complete(ov, 0, win_error::kInvalidHandle));
  CommTimeouts timeouts;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    timeouts = impl_->timeouts;
  }
  const auto start = SteadyClock::now();
  std::optional<SteadyClock::time_point> portDeadline;
  if (timeouts.writeMultiplier != 0 || timeouts.writeConstant != 0) {
    portDeadline = DeadlineAfter(start, uint64_t{timeouts.writeMultiplier} * len + timeouts.writeConstant);
  }
  std::optional<SteadyClock::time_point> callDeadline;
  if (timeoutMs != kInfinite) callDeadline = DeadlineAfter(start, timeoutMs);

  const auto* bytes = static_cast<const uint8_t*>(buf);
  while (*out < len) {
    const ssize_t n = ::write(lease.fd(), bytes + *out, len - *out);
    if (n > 0) {
      *out += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return RecordError(Complete(ov, *out, LastErrno()));
    // The port's own write time-out ends the transfer short, as a success.
    if (Passed(portDeadline)) break;
    if (Passed(callDeadline)) return RecordError(Complete(ov, *out, win_error::kTimeout));
    const auto& deadline =
        (callDeadline && (!portDeadline || *callDeadline < *portDeadline)) ? callDeadline : portDeadline;
    const int ready = lease.Wait(POLLOUT, deadline);
    if (ready == -1) return RecordError(Complete(ov, *out, win_error::kOperationAborted));
    if (ready == -2) return RecordError(Complete(ov, *out, LastErrno()));
  }
  return RecordError(Complete(ov, *out, win_error::kSuccess));
}

uint32_t SerialPort::Read(void* buf, uint32_t len, uint32_t* got, SerialOverlapped* ov, uint32_t timeoutMs) {
  uint32_t count = 0;
  uint32_t* out = got != nullptr ? got : &count;
  *out = 0;
  Impl::Lease lease(*impl_);
  if (!lease.valid()) return RecordError(Complete(ov, 0, win_error::kInvalidHandle));
  CommTimeouts timeouts;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    timeouts = impl_->timeouts;
  }
  const bool nonBlocking = IsNonBlockingRead(timeouts);
  const auto start = SteadyClock::now();
  // Blocking reads wait for the full count until the port's total time-out,
  // then succeed with what came; both totals 0 waits without limit.
  std::optional<SteadyClock::time_point> portDeadline;
  if (!nonBlocking && (timeouts.readMultiplier != 0 || timeouts.readConstant != 0)) {
    portDeadline = DeadlineAfter(start, uint64_t{timeouts.readMultiplier} * len + timeouts.readConstant);
  }
  std::optional<SteadyClock::time_point> callDeadline;
  if (timeoutMs != kInfinite) callDeadline = DeadlineAfter(start, timeoutMs);

  auto* bytes = static_cast<uint8_t*>(buf);
  while (*out < len) {
    const ssize_t n = ::read(lease.fd(), bytes + *out, len - *out);
    if (n > 0) {
      *out += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return RecordError(Complete(ov, *out, LastErrno()));
    if (n == 0) {
      // End of file on a tty means the line hung up.
      return RecordError(Complete(ov, *out, win_error::kGenFailure));
    }
    if (nonBlocking || Passed(portDeadline)) break;
    if (Passed(callDeadline)) return RecordError(Complete(ov, *out, win_error::kTimeout));
    const auto& deadline =
        (callDeadline && (!portDeadline || *callDeadline < *portDeadline)) ? callDeadline : portDeadline;
    const int ready = lease.Wait(POLLIN, deadline);
    if (ready == -1) return RecordError(Complete(ov, *out, win_error::kOperationAborted));
    if (ready == -2) return RecordError(Complete(ov, *out, LastErrno()));
  }
  return RecordError(Complete(ov, *out, win_error::kSuccess));
}

uint32_t SerialPort::WaitEvent(SerialOverlapped* ov, uint32_t timeoutMs) {
  Impl::Lease lease(*impl_);
  if (!lease.valid()) return RecordError(Complete(ov, 0, win_error::kInvalidHandle));
  uint32_t mask = 0;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    mask = impl_->portMask;
  }
  // Arriving bytes are the one event a tty reports without consuming them.
  if ((mask & (kEventRxChar | kEventRxFlag)) == 0) {
    return RecordError(Complete(ov, 0, win_error::kInvalidParameter));
  }
  std::optional<SteadyClock::time_point> deadline;
  if (timeoutMs != kInfinite) deadline = DeadlineAfter(SteadyClock::now(), timeoutMs);
  const int ready = lease.Wait(POLLIN, deadline);
  if (ready == 0) return RecordError(Complete(ov, 0, win_error::kTimeout));
  if (ready == -1) return RecordError(Complete(ov, 0, win_error::kOperationAborted));
  if (ready == -2) return RecordError(Complete(ov, 0, LastErrno()));
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->eventMask = kEventRxChar;
  }
  return RecordError(Complete(ov, 0, win_error::kSuccess));
}

uint32_t SerialPort::SendMethodRequest(const uint8_t* request, uint8_t* reply) {
  uint32_t count = 0;
  uint32_t error = Write(request, 2, &count, nullptr, kInfinite);
  if (error == win_error::kSuccess && count != 2) error = RecordError(win_error::kTimeout);
  if (error != win_error::kSuccess) return error;
  // The reply is bounded by the port's read time-out, as every loader read is.
  error = Read(reply, 2, &count, nullptr, kInfinite);
  if (error == win_error::kSuccess && count != 2) error = RecordError(win_error::kTimeout);
  return error;
}

}  // namespace zorbel
