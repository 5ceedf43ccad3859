// The zorbel-board process's own options. Its socket, folder and terminal
// link in use are the CLI tests' part; here, what they leave out.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "board_test_util.h"
#include "link/scsi_transport.h"
#include "link/serial_port.h"
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
    // A board that should have ended but runs on fails the test instead of hanging it.
    for (int i = 0; i < 400 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    if (waitpid(pid_, &status, WNOHANG) == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      status = -1;
    }
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
  zorbel::testing::TempFolder dir;
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

TEST(BoardProcessRun, LeavesTheUsersFilesAndASecondBoardOnItsFolderAlone) {
  zorbel::testing::TempFolder dir;
  std::ofstream(dir.File("mine")) << "keep";
  for (const char* option : {"--pty-link", "--socket"}) {
    BoardProcess p({"--kind", "vcom", option, dir.File("mine")});
    EXPECT_EQ(p.Wait(), 1) << option;
  }
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir.File("mine"))));

  BoardProcess first({"--kind", "quen", "--dir", dir.File("state"), "--socket", dir.File("disk")});
  ASSERT_TRUE(WaitFor(dir.File("disk")));
  BoardProcess second({"--kind", "quen", "--dir", dir.File("state")});
  EXPECT_EQ(second.Wait(), 1);
  // One tool at a time on the board's disk, as on a COM port.
  uint32_t error = 0;
  auto tool = OpenScsiTransport("unix:" + dir.File("disk"), &error);
  ASSERT_NE(tool, nullptr);
  EXPECT_EQ(OpenScsiTransport("unix:" + dir.File("disk"), &error), nullptr);
  EXPECT_EQ(error, win_error::kAccessDenied);
}

}  // namespace
}  // namespace zorbel::sim::test
