// Commands, recipes and stations over the virtual board's COM port (a
// pseudo-terminal), and boards in other processes reached by --port and --disk unix:.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/run_log.h"
#include "cli_test_support.h"

namespace zorbel::clitest {
namespace {

namespace fs = std::filesystem;

// A zorbel-board process for the run's lifetime, ended with SIGTERM (it
// saves its folder then).
class BoardProcess {
 public:
  explicit BoardProcess(const std::vector<std::string>& args)
      : pid_(SpawnProgram("zorbel-board", args, ".", "/dev/null", "")) {}
  ~BoardProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  BoardProcess(const BoardProcess&) = delete;
  BoardProcess& operator=(const BoardProcess&) = delete;

 private:
  const pid_t pid_;
};

// True once path exists (the board's pty link or socket); gives up after 5 s.
bool WaitForPath(const std::filesystem::path& path) {
  for (int i = 0; i < 200; ++i) {
    if (std::filesystem::exists(std::filesystem::symlink_status(path))) return true;
    usleep(25 * 1000);
  }
  return false;
}

INSTANTIATE_TEST_SUITE_P(ComPort, TwoRunSession, ::testing::Values("vcom"));

// A NOR image shows its flag letters, the SPI settings route stops at the bank
// rule, a raw NAND ROM is checked against the board's block size first.
TEST_F(CliTest, NorSpiSettingsAndRawNandRomOverTheComPort) {
  testing::WriteBytes(File("boot.bin"), Pattern(9000, 4));
  testing::WriteBytes(File("k.bin"), Pattern(30000, 6));
  std::ofstream(File("nandrom.ini")) << "[Target Image]\nImage=" << File("rom.bin")
                                     << "\n\n[Image 1]\nImage=" << File("k.bin")
                                     << "\nName=kern\nExec=0x0\nStart=0x10\nData=1\n\n";
  for (const char* session : {"nor over the COM port", "spi settings over the COM port", "raw nand rom"})
    RunSession(session);
  EXPECT_FALSE(Slurp(File("1.txt")).empty());
}

TEST_F(CliTest, GivenPortAndDiskReachBoardsInOtherProcesses) {
  testing::WriteBytes(File("app.bin"), Pattern(6000, 5));
  {
    BoardProcess vcom({"--kind", "vcom", "--dir", File("vstate"), "--pty-link", File("tty")});
    BoardProcess quen({"--kind", "quen", "--dir", File("qstate"), "--socket", File("disk")});
    ASSERT_TRUE(WaitForPath(File("tty")));
    ASSERT_TRUE(WaitForPath(File("disk")));
    RunSession("boards in other processes");
  }
  EXPECT_TRUE(KeptBoard(sim::BoardKind::kVcom, File("vstate"))->FindImage(sim::Medium::kNand, 2).has_value());
  EXPECT_EQ(KeptBoard(sim::BoardKind::kQuen, File("qstate"))->ImageData(sim::Medium::kSpi, 3),
            Pattern(6000, 5));
}

INSTANTIATE_TEST_SUITE_P(ComPort, RecipeRun, ::testing::Values("vcom"));

// The second station finds the COM-port board's loader running already: it
// is reached without a second loader, as the disk board is.
TEST_F(CliTest, StationsOnKeptBoardsOfBothWires) {
  testing::WriteBytes(File("kernel.bin"), Pattern(9000, 2));
  testing::WriteBytes(File("recipe.txt"),
                      "burn nand kernel.bin --number 1 --kind execute --exec 30008000 --start 20\n");
  for (int round = 0; round < 2; ++round) {
    const Result r =
        Zorbel({"--yes", "--virtual-board=vcom:" + File("serial"), "--virtual-board=quen:" + File("disk"),
                "station", File("recipe.txt"), "--count", "2", "--log", File("log.jsonl")});
    EXPECT_EQ(r.status, 0) << r.err;
  }
  const auto log = ReadRunLog(File("log.jsonl"));
  ASSERT_EQ(log.size(), 4u);
  for (const BoardRunLog& run : log) EXPECT_EQ(run.result, "ok") << run.board;
  EXPECT_EQ(KeptBoard(sim::BoardKind::kVcom, File("serial"))->ImageData(sim::Medium::kNand, 1),
            Pattern(9000, 2));
}

}  // namespace
}  // namespace zorbel::clitest
