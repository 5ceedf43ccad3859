// The command line given careless input: nothing reaches the board unless
// every number reads whole and somebody said yes; Ctrl+C ends an offline run
// at once and leaves no working file behind.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/file_replace.h"
#include "cli_test_support.h"
#include "console.h"
#include "interrupt.h"

namespace zorbel::clitest {
namespace {

TEST_F(CliTest, NumbersThatDoNotReadWholeSendNothing) {
  const struct {
    std::vector<std::string> args;
    const char* refusal;
  } cases[] = {
      {{"erase", "nand", "--number", "abc"}, "Please input image number"},
      {{"modify", "nand", "--number", "xyz", "--kind", "data"}, "Please input image number"},
      {{"burn", "nand", "f.bin", "--number", "0x5", "--kind", "data", "--exec", "0", "--start", "1"},
       "Please input correct information"},
      {{"reserve", "nand", "4294967297"}, "Please input system reserved size"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "--yes");
    const Result r = OnBoard("quen", args);
    EXPECT_EQ(r.status, 2) << c.args[0];
    EXPECT_NE(r.err.find(c.refusal), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(BoardDir())) << "the board was reached: " << c.args[0];
  }
}

TEST_F(CliTest, EveryBoardChangeIsAskedFor) {
  WriteFile(File("f.bin"), Pattern(100, 1));
  const std::vector<std::vector<std::string>> commands = {
      {"erase", "nand", "--all"},
      {"erase", "spi", "--number", "1"},
      {"modify", "nand", "--number", "1", "--kind", "data"},
      {"burn", "spi", File("f.bin"), "--number", "1", "--kind", "data", "--exec", "0", "--start", "1"},
      {"sdram", File("f.bin")},
      {"settings", "--ssid", "net", "--password", "secret"},
      {"reserve", "nand", "1"},
  };
  for (const auto& args : commands) {
    const Result r = OnBoard("quen", args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_EQ(Lines(r.err).back(), cli::kNeedYes) << args[0] << ": " << r.err;
  }
  EXPECT_EQ(KeptBoard(sim::BoardKind::kQuen, BoardDir())->NandReservedMb(), 0u);
}

TEST_F(CliTest, ReadBackIntoSomethingElseThanAFileIsRefused) {
  ASSERT_EQ(mkfifo(File("fifo").c_str(), 0600), 0);
  const Result r = OnBoard("quen", {"read-spi", File("fifo"), "--blocks", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(File("fifo") + " is not a regular file"), std::string::npos) << r.err;
  struct stat st {};
  ASSERT_EQ(lstat(File("fifo").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(HostileInterrupt, AnOfflineRunEndsAtOnceAndRemovesItsWorkingFile) {
  const std::string target = ::testing::TempDir() + "zorbel_interrupt_target.bin";
  const pid_t child = fork();
  if (child == 0) {
    AbortEvent abort;
    cli::InterruptWatch watch(abort);
    cli::InterruptWatch::SetRunStopsOnAbort(false);
    FileReplacement replacement;
    if (!replacement.Begin(target)) _exit(3);
    raise(SIGINT);
    for (;;) pause();  // a build that never tests the abort event
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
  EXPECT_EQ(WTERMSIG(status), SIGINT);
  for (const auto& entry : std::filesystem::directory_iterator(::testing::TempDir())) {
    EXPECT_EQ(entry.path().string().find("zorbel_interrupt_target"), std::string::npos) << entry.path();
  }
}

}  // namespace
}  // namespace zorbel::clitest
