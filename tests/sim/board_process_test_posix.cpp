// The zorbel-board process's own options, over its Unix socket and its
// pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "board_test_util.h"
#include "protocol/protocol_fixture.h"
#include "serial_line_posix.h"
#include "virtual_board.h"

namespace zorbel::sim::test {
namespace {

namespace fs = std::filesystem;

// The test's own end of the board's socket: the framing built byte by byte.
class SocketClient {
 public:
  explicit SocketClient(const std::string& path) {
    fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~SocketClient() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  // {status, data}
  std::pair<uint8_t, Bytes> Request(const Cdb& cdb, uint8_t direction, const Bytes& out, uint32_t inLength) {
    Bytes r(cdb.begin(), cdb.end());
    r.push_back(10);
    r.push_back(direction);
    Append32(r, direction == 1 ? static_cast<uint32_t>(out.size()) : inLength);
    Append32(r, 20);
    if (direction == 1) r.insert(r.end(), out.begin(), out.end());
    if (send(fd_, r.data(), r.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(r.size())) return {0xFF, {}};
    Bytes head = ReadN(5);
    if (head.size() != 5) return {0xFF, {}};
    uint32_t n = Get32(&head[1]);
    Bytes data = direction == 2 && head[0] == 0 ? ReadN(n) : Bytes();
    return {head[0], data};
  }

 private:
  Bytes ReadN(size_t n) {
    Bytes b(n);
    size_t got = 0;
    while (got < n) {
      ssize_t k = recv(fd_, b.data() + got, n - got, 0);
      if (k <= 0) break;
      got += static_cast<size_t>(k);
    }
    b.resize(got);
    return b;
  }
  int fd_ = -1;
};

// ---------------------------------------------------------------- the process

class BoardProcess {
 public:
  explicit BoardProcess(std::vector<std::string> args) {
    pid_ = fork();
    if (pid_ == 0) {
      std::string exe = std::string(ZORBEL_BIN_DIR) + "/zorbel-board";
      std::vector<char*> argv{exe.data()};
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      execv(exe.c_str(), argv.data());
      _exit(127);
    }
  }
  ~BoardProcess() { Stop(); }
  int Stop() { return End(true); }
  int Wait() { return End(false); }

 private:
  int End(bool terminate) {
    if (pid_ <= 0) return -1;
    if (terminate) kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  pid_t pid_ = -1;
};

bool WaitFor(const fs::path& p) {
  for (int i = 0; i < 200; ++i) {
    if (fs::exists(fs::symlink_status(p))) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

TEST(BoardProcessRun, ServesItsSocketInTheLoaderStageAndKeepsTheFolder) {
  zorbel::testing::ScratchDir dir;
  const std::string sock = dir.File("disk");
  Bytes image = Pattern(1000, 4);
  {
    BoardProcess p({"--kind", "older", "--dir", dir.File("state"), "--socket", sock});
    ASSERT_TRUE(WaitFor(sock));
    SocketClient c(sock);
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.Request(LoaderCdb('a', 0, 3), 1, ImageHead(44, 0, 1000, 9, "p", 0, 0, 2), 0).first, 0);
    EXPECT_EQ(c.Request(LoaderCdb('c', 0, 0), 1, image, 0).first, 0);
    EXPECT_EQ(p.Stop(), 0);
  }
  BoardProcess p({"--kind", "older", "--dir", dir.File("state"), "--socket", sock});
  ASSERT_TRUE(WaitFor(sock));
  SocketClient c(sock);
  auto table = c.Request(LoaderCdb('b', 0, 1, 1), 2, {}, 44);
  ASSERT_EQ(table.first, 0);
  EXPECT_EQ(Get32(&table.second[8]), 9u);
  EXPECT_EQ(p.Stop(), 0);
}

TEST(BoardProcessRun, LinksItsPseudoTerminal) {
  zorbel::testing::ScratchDir dir;
  const fs::path link = dir.File("ttyBOARD");
  BoardProcess p({"--kind", "vcom", "--pty-link", link.string()});
  ASSERT_TRUE(WaitFor(link));
  {
    Line line(link.string());
    ASSERT_TRUE(line.ok());
    EXPECT_EQ(line.Choose(4), 1) << "the process runs in its loader stage";
  }
  EXPECT_EQ(p.Stop(), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST(BoardProcessRun, RefusesAnUnknownKind) {
  BoardProcess p({"--kind", "toaster"});
  EXPECT_EQ(p.Wait(), 2);
}

}  // namespace
}  // namespace zorbel::sim::test
