// The command line given careless input: a read-back into what is not a file
// is refused; Ctrl+C ends an offline run at once and leaves no working file
// behind; while a run is on, the first one sets the run's abort event and the
// process goes on, and the watch's end puts the earlier handling back.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/file_replace.h"
#include "cli_test_support.h"
#include "interrupt.h"

namespace zorbel::clitest {
namespace {

TEST_F(CliTest, ReadBackIntoSomethingElseThanAFileIsRefused) {
  ASSERT_EQ(mkfifo(File("fifo").c_str(), 0600), 0);
  const Result r = OnBoard("quen", {"read-spi", File("fifo"), "--blocks", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(File("fifo") + " is not a regular file"), std::string::npos) << r.err;
  EXPECT_TRUE(std::filesystem::is_fifo(std::filesystem::symlink_status(File("fifo"))));
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

int gEarlierCalls = 0;
void EarlierHandler(int) { ++gEarlierCalls; }

TEST(InterruptWatch, FirstSignalAbortsTheRunThenTheEarlierHandlingIsBack) {
  for (int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    struct sigaction earlier = {}, kept = {};
    earlier.sa_handler = EarlierHandler;
    sigemptyset(&earlier.sa_mask);
    ASSERT_EQ(sigaction(signal, &earlier, &kept), 0);
    gEarlierCalls = 0;
    AbortEvent abort;
    {
      cli::InterruptWatch watch(abort);
      ASSERT_EQ(raise(signal), 0);
      EXPECT_TRUE(abort.WaitMs(10000)) << "the abort event is set from the watch's thread";
      EXPECT_EQ(gEarlierCalls, 0);
    }
    ASSERT_EQ(raise(signal), 0);
    EXPECT_EQ(gEarlierCalls, 1) << "after the run, the signal goes where it went before";
    sigaction(signal, &kept, nullptr);
  }
}

}  // namespace
}  // namespace zorbel::clitest
