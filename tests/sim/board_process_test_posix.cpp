// The zorbel-board process's own options. Its socket, folder and terminal
// link in use are the CLI tests' part; here, what they leave out.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "board_test_util.h"
#include "protocol/protocol_fixture.h"
#include "serial_line_posix.h"
#include "virtual_board.h"

namespace zorbel::sim::test {
namespace {

namespace fs = std::filesystem;

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

TEST(BoardProcessRun, LinksItsPseudoTerminalAndRemovesTheLinkWhenEnded) {
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
