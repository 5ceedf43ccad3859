// The board's disk over a Unix stream socket, one request at a time:
// request = cdb[16], u8 cdb length, u8 direction, u32 data length,
// u32 time-out, then the data when it goes to the board; reply = u8 status
// (0 = done), u32 data length, then the data when it comes from the board.
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <list>
#include <thread>

#include "board_bytes.h"
#include "board_impl.h"

namespace zorbel::sim {
namespace {

constexpr uint32_t kMaxData = 1u << 20;
constexpr size_t kRequestHead = 16 + 1 + 1 + 4 + 4;

class UnixSocketServer final : public SocketServer {
 public:
  explicit UnixSocketServer(VirtualBoard::Impl& board) : board_(board) {}

  ~UnixSocketServer() override {
    stop_ = true;
    if (wake_[1] >= 0) {
      uint8_t b = 1;
      [[maybe_unused]] ssize_t n = write(wake_[1], &b, 1);
    }
    if (acceptThread_.joinable()) acceptThread_.join();
    for (Client& c : clients_) c.thread.join();
    if (listen_ >= 0) close(listen_);
    for (int fd : wake_) {
      if (fd >= 0) close(fd);
    }
    if (IsSocket(path_)) unlink(path_.c_str());
  }

  bool Start(const std::string& path, std::string* error) {
    path_ = path;
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path) return Fail(error, "socket path too long");
    if (pipe(wake_) != 0) return Fail(error, "pipe");
    listen_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_ < 0) return Fail(error, "socket");
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    // A stale socket of an earlier run goes; anything else at the path stays.
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && !S_ISSOCK(st.st_mode)) {
      errno = EEXIST;
      return Fail(error, "the path exists and is no socket");
    }
    unlink(path.c_str());
    if (bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return Fail(error, "bind");
    if (listen(listen_, 8) != 0) return Fail(error, "listen");
    acceptThread_ = std::thread([this] { Accept(); });
    return true;
  }

 private:
  static bool IsSocket(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
  }

  bool Fail(std::string* error, const char* what) {
    if (error) *error = std::string(what) + ": " + std::strerror(errno);
    return false;
  }

  // Waits until fd is ready or the server stops.
  bool Wait(int fd, short events) {
    while (!stop_) {
      pollfd fds[2] = {{fd, events, 0}, {wake_[0], POLLIN, 0}};
      int r = poll(fds, 2, -1);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 || (fds[1].revents & POLLIN)) return false;
      if (fds[0].revents) return true;
    }
    return false;
  }

  void Accept() {
    while (Wait(listen_, POLLIN)) {
      int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      // A long-running board sees one connection per tool operation: join the ended ones.
      clients_.remove_if([](Client& c) {
        if (!c.done) return false;
        c.thread.join();
        return true;
      });
      Client& c = clients_.emplace_back();
      c.thread = std::thread([this, fd, &c] {
        Serve(fd);
        close(fd);
        c.done = true;
      });
    }
  }

  bool ReadAll(int fd, uint8_t* p, size_t n) {
    size_t got = 0;
    while (got < n) {
      if (!Wait(fd, POLLIN)) return false;
      ssize_t k = read(fd, p + got, n - got);
      if (k == 0) return false;
      if (k < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        return false;
      }
      got += static_cast<size_t>(k);
    }
    return true;
  }

  bool WriteAll(int fd, const uint8_t* p, size_t n) {
    size_t done = 0;
    while (done < n) {
      if (!Wait(fd, POLLOUT)) return false;
      ssize_t k = send(fd, p + done, n - done, MSG_NOSIGNAL);
      if (k < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        return false;
      }
      done += static_cast<size_t>(k);
    }
    return true;
  }

  void Serve(int fd) {
    for (;;) {
      uint8_t head[kRequestHead];
      if (!ReadAll(fd, head, sizeof head)) return;
      ScsiCommand c;
      std::memcpy(c.cdb.data(), head, 16);
      c.cdbLength = head[16];
      uint8_t direction = head[17];
      c.dataLength = LoadLe32(head + 18);
      c.timeoutSeconds = LoadLe32(head + 22);
      if (direction > 2 || c.dataLength > kMaxData || c.cdbLength > 16) {
        std::lock_guard<std::mutex> lock(board_.mutex);
        board_.LogLocked("socket: malformed request; connection closed");
        return;
      }
      c.direction = static_cast<ScsiDirection>(direction);
      std::vector<uint8_t> data(c.dataLength);
      if (c.direction == ScsiDirection::kToDevice && !ReadAll(fd, data.data(), data.size())) return;
      c.data = data.empty() ? nullptr : data.data();
      bool ok;
      {
        std::lock_guard<std::mutex> lock(board_.mutex);
        board_.UpdateStageLocked();
        ok = board_.stage != Stage::kGone && board_.ExecuteScsiLocked(c);
      }
      std::vector<uint8_t> reply;
      reply.push_back(ok ? 0 : 1);
      bool withData = ok && c.direction == ScsiDirection::kFromDevice;
      AppendLe32(reply, withData ? c.dataLength : 0);
      if (withData) reply.insert(reply.end(), data.begin(), data.end());
      if (!WriteAll(fd, reply.data(), reply.size())) return;
    }
  }

  VirtualBoard::Impl& board_;
  std::string path_;
  int listen_ = -1;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stop_{false};
  std::thread acceptThread_;
  struct Client {
    std::thread thread;
    std::atomic<bool> done{false};
  };
  std::list<Client> clients_;  // touched by the accept thread only, joined after it
};

}  // namespace

std::unique_ptr<SocketServer> StartSocketServer(VirtualBoard::Impl& board, const std::string& path,
                                                std::string* error) {
  auto server = std::make_unique<UnixSocketServer>(board);
  if (!server->Start(path, error)) return nullptr;
  return server;
}

}  // namespace zorbel::sim
