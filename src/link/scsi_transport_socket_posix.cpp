// SCSI commands over a Unix-domain stream socket, one request at a time:
//   request: cdb[16], u8 cdb_length, u8 direction, u32 data_length,
//            u32 timeout_seconds, then the data when the direction is 1;
//   reply:   u8 status (0 = done), u32 data_length, then the data when the
//            direction is 2 and the status is 0.
// A broken connection fails the request in flight (the board may have acted
// on it, so it is never sent twice); the next request connects again.
#include <poll.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <vector>

#include "app/byte_order.h"
#include "app/system_error.h"
#include "link/scsi_transport_backends.h"
#include "link/serial_port.h"

namespace zorbel {

namespace {

constexpr size_t kRequestHeaderLength = 16 + 1 + 1 + 4 + 4;
constexpr size_t kReplyHeaderLength = 1 + 4;
// Beyond the command's own time-out, how long the board may take to answer.
constexpr int64_t kReplyGraceMs = 5000;

// Connects to the socket; -1 with *error set on failure.
int Connect(const std::string& path, uint32_t* error) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    *error = win_error::kFileNotFound;
    return -1;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = WindowsCodeFromErrno(errno);
    return -1;
  }
  int rc;
  do {
    rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) {
    *error = WindowsCodeFromErrno(errno);
    ::close(fd);
    return -1;
  }
  *error = win_error::kSuccess;
  return fd;
}

class SocketTransport final : public ScsiTransport {
 public:
  SocketTransport(std::string path, int fd, int lockFd) : path_(std::move(path)), fd_(fd), lockFd_(lockFd) {}
  ~SocketTransport() override {
    Drop();
    if (lockFd_ >= 0) ::close(lockFd_);
  }
  SocketTransport(const SocketTransport&) = delete;
  SocketTransport& operator=(const SocketTransport&) = delete;

  bool Execute(const ScsiCommand& command) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lastError_ = Exchange(command);
    return lastError_ == win_error::kSuccess;
  }
  uint32_t LastError() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastError_;
  }

 private:
  uint32_t Exchange(const ScsiCommand& command) {
    const bool toDevice = command.direction == ScsiDirection::kToDevice;
    const bool fromDevice = command.direction == ScsiDirection::kFromDevice;
    if (command.dataLength != 0 && (toDevice || fromDevice) && command.data == nullptr) {
      return win_error::kInvalidParameter;
    }
    if (fd_ < 0) {
      uint32_t error = 0;
      fd_ = Connect(path_, &error);
      if (fd_ < 0) return error;
    }
    std::vector<uint8_t> request(kRequestHeaderLength);
    std::memcpy(request.data(), command.cdb.data(), 16);
    request[16] = command.cdbLength;
    request[17] = static_cast<uint8_t>(command.direction);
    StoreLe32(&request[18], command.dataLength);
    StoreLe32(&request[22], command.timeoutSeconds);
    if (toDevice) {
      const auto* data = static_cast<const uint8_t*>(command.data);
      request.insert(request.end(), data, data + command.dataLength);
    }
    // Without a command time-out the board may take as long as it needs.
    const auto deadline =
        command.timeoutSeconds == 0
            ? std::chrono::steady_clock::time_point::max()
            : std::chrono::steady_clock::now() +
                  std::chrono::milliseconds(int64_t{command.timeoutSeconds} * 1000 + kReplyGraceMs);
    uint32_t error = SendAll(request.data(), request.size(), deadline);
    uint8_t reply[kReplyHeaderLength];
    if (error == win_error::kSuccess) error = ReceiveAll(reply, sizeof reply, deadline);
    if (error != win_error::kSuccess) return Fail(error);
    const uint8_t status = reply[0];
    const uint32_t length = LoadLe32(&reply[1]);
    if (!fromDevice || status != 0) {
      return status == 0 ? win_error::kSuccess : win_error::kGenFailure;
    }
    // A short answer is taken as it comes; a longer one than asked for is
    // read off the stream (to stay in step) and refused.
    const uint32_t kept = std::min(length, command.dataLength);
    error = ReceiveAll(static_cast<uint8_t*>(command.data), kept, deadline);
    if (error == win_error::kSuccess && length > kept) {
      std::vector<uint8_t> excess(length - kept);
      error = ReceiveAll(excess.data(), excess.size(), deadline);
      if (error == win_error::kSuccess) return win_error::kGenFailure;
    }
    return error == win_error::kSuccess ? error : Fail(error);
  }

  uint32_t Fail(uint32_t error) {
    Drop();
    return error;
  }

  void Drop() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  // 1 ready, 0 deadline passed, -1 poll failed.
  int WaitFor(short events, std::chrono::steady_clock::time_point deadline) const {
    for (;;) {
      int timeout = -1;
      if (deadline != std::chrono::steady_clock::time_point::max()) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return 0;
        timeout = static_cast<int>(std::min<int64_t>(left.count(), 1 << 30));
      }
      pollfd pfd{fd_, events, 0};
      const int n = ::poll(&pfd, 1, timeout);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return -1;
      if (n == 0) return 0;
      return 1;
    }
  }

  uint32_t SendAll(const uint8_t* data, size_t length, std::chrono::steady_clock::time_point deadline) {
    size_t done = 0;
    while (done < length) {
      const int ready = WaitFor(POLLOUT, deadline);
      if (ready == 0) return win_error::kTimeout;
      if (ready < 0) return WindowsCodeFromErrno(errno);
      const ssize_t n = ::send(fd_, data + done, length - done, MSG_NOSIGNAL);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n < 0) return WindowsCodeFromErrno(errno);
      done += static_cast<size_t>(n);
    }
    return win_error::kSuccess;
  }

  uint32_t ReceiveAll(uint8_t* data, size_t length, std::chrono::steady_clock::time_point deadline) {
    size_t done = 0;
    while (done < length) {
      const int ready = WaitFor(POLLIN, deadline);
      if (ready == 0) return win_error::kTimeout;
      if (ready < 0) return WindowsCodeFromErrno(errno);
      const ssize_t n = ::recv(fd_, data + done, length - done, 0);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n < 0) return WindowsCodeFromErrno(errno);
      if (n == 0) return win_error::kDeviceNotConnected;  // the board went away mid-answer
      done += static_cast<size_t>(n);
    }
    return win_error::kSuccess;
  }

  mutable std::mutex mutex_;
  std::string path_;
  int fd_;
  int lockFd_;
  uint32_t lastError_ = 0;
};

// One process at a time talks to a board: the board serves every connection
// and two tools' requests would interleave. The lock file beside the socket
// is held for the transport's life; where it cannot be made (a folder the
// user may not write), the board is reached unguarded, as before.
int LockBoardSocket(const std::string& socketPath, uint32_t* error) {
  const std::string lockPath = socketPath + ".lock";
  const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *error = errno == EWOULDBLOCK ? win_error::kAccessDenied : WindowsCodeFromErrno(errno);
    ::close(fd);
    return -2;
  }
  return fd;
}

}  // namespace

std::unique_ptr<ScsiTransport> OpenSocketScsiTransport(const std::string& socketPath, uint32_t* error) {
  uint32_t code = 0;
  const int lockFd = LockBoardSocket(socketPath, &code);
  const int fd = lockFd == -2 ? -1 : Connect(socketPath, &code);
  if (error != nullptr) *error = code;
  if (fd < 0) {
    if (lockFd >= 0) ::close(lockFd);
    return nullptr;
  }
  return std::make_unique<SocketTransport>(socketPath, fd, lockFd);
}

}  // namespace zorbel
