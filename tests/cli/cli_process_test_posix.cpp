// Commands over the virtual board's COM port (a pseudo-terminal), and boards
// in other processes reached by --port and --disk unix:.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli_test_support.h"

extern char** environ;

namespace zorbel::clitest {
namespace {

namespace fs = std::filesystem;

// A zorbel-board process for the run's lifetime, ended with SIGTERM (it
// saves its folder then).
class BoardProcess {
 public:
  explicit BoardProcess(const std::vector<std::string>& args) {
    const std::string program = std::string(ZORBEL_BIN_DIR) + "/zorbel-board";
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~BoardProcess() { Stop(); }
  BoardProcess(const BoardProcess&) = delete;
  BoardProcess& operator=(const BoardProcess&) = delete;
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

// True once path exists (the board's pty link or socket); gives up after 5 s.
bool WaitForPath(const std::filesystem::path& path) {
  for (int i = 0; i < 200; ++i) {
    if (std::filesystem::exists(std::filesystem::symlink_status(path))) return true;
    usleep(25 * 1000);
  }
  return false;
}

TEST_F(CliTest, BurnThenVerifyOverTheComPortInANewProcess) { BurnThenVerifyInANewProcess("vcom"); }

TEST_F(CliTest, NorImageOverTheComPortShowsItsFlagLetters) {
  WriteFile(File("boot.bin"), Pattern(9000, 4));
  Result r = OnBoard("vcom", {"--yes", "burn", "nor", File("boot.bin"), "--number", "1", "--exec", "8000",
                              "--offset", "10000", "--flags", "active,exec"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = OnBoard("vcom", {"table", "nor"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 3u) << r.out;
  EXPECT_EQ(lines[0], "Device: VNOR-ZB3200");
  EXPECT_EQ(lines[1], "No  Name  Type  Flash address  End address  Exec address");
  EXPECT_EQ(lines[2], "1   boot  ax    0x10000        0x12327      0x8000");
}

TEST_F(CliTest, SpiSettingsRouteOverTheComPortStopsAtTheBankRule) {
  const Result r = OnBoard("vcom", {"--yes", "settings", "--ssid", "net", "--password", "secret", "--route", "spi"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.err).back(), "Start offset must be 64K boundary !");
  EXPECT_FALSE(Slurp(File("1.txt")).empty());
  EXPECT_TRUE(KeptBoard(sim::BoardKind::kVcom, BoardDir())->Table(sim::Medium::kSpi).empty());
}

TEST_F(CliTest, GivenPortAndDiskReachBoardsInOtherProcesses) {
  WriteFile(File("app.bin"), Pattern(6000, 5));
  {
    BoardProcess vcom({"--kind", "vcom", "--dir", File("vstate"), "--pty-link", File("tty")});
    BoardProcess quen({"--kind", "quen", "--dir", File("qstate"), "--socket", File("disk")});
    ASSERT_TRUE(WaitForPath(File("tty")));
    ASSERT_TRUE(WaitForPath(File("disk")));

    Result r = Zorbel({"--port", File("tty"), "--yes", "burn", "nand", File("app.bin"), "--number", "2",
                       "--kind", "data", "--exec", "0", "--start", "30"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.err).back(), "Burn successfully");

    const std::string disk = "unix:" + File("disk");
    r = Zorbel({"--disk", disk, "--family", "1", "--yes", "burn", "spi", File("app.bin"), "--number", "3", "--kind",
                "data", "--exec", "0", "--start", "2"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.err).back(), "Burn successfully");
    r = Zorbel({"--disk", disk, "--family", "1", "table", "spi"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(Lines(r.out).size(), 2u) << r.out;
    EXPECT_EQ(Lines(r.out)[1].substr(0, 10), "3   app   ");

    r = Zorbel({"--disk", "unix:" + File("no-such-socket"), "table", "spi"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.err).back(), "Not connected to a board.");
  }
  EXPECT_TRUE(KeptBoard(sim::BoardKind::kVcom, File("vstate"))->FindImage(sim::Medium::kNand, 2).has_value());
  EXPECT_EQ(KeptBoard(sim::BoardKind::kQuen, File("qstate"))->ImageData(sim::Medium::kSpi, 3),
            Pattern(6000, 5));
}

TEST_F(CliTest, RawNandRomIsCheckedAgainstTheBoardsBlockSizeFirst) {
  WriteFile(File("k.bin"), Pattern(30000, 6));
  std::ofstream(File("nandrom.ini")) << "[Target Image]\nImage=" << File("rom.bin")
                                     << "\n\n[Image 1]\nImage=" << File("k.bin")
                                     << "\nName=kern\nExec=0x0\nStart=0x10\nData=1\n\n";
  // Built for 128 KB blocks; the board has 16 KB ones.
  ASSERT_EQ(Zorbel({"mkrom", "nand", File("nandrom.ini"), "--block-size", "128k"}).status, 0);
  const std::string question = "NAND Block size does not match, do you want to convert it automically ?";

  Result r = OnBoard("vcom", {"--yes", "burn-raw", "nand", File("rom.bin")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.err), (std::vector<std::string>{question, "Invalidate NAND image !"}));

  r = OnBoard("vcom", {"nand-check", File("rom.bin"), "--convert"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1\n");

  r = OnBoard("vcom", {"--yes", "burn-raw", "nand", File("rom.bin")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "Burn successfully");
  r = OnBoard("vcom", {"verify-raw", "nand", File("rom.bin")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.err).back(), "Verify OK !");
}
}  // namespace
}  // namespace zorbel::clitest
