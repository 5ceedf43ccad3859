// Ctrl+C while a run is on: the first one sets the run's abort event and
// the process goes on; the watch's end puts the earlier handling back.
#include "interrupt.h"

#include <gtest/gtest.h>
#include <signal.h>

namespace zorbel::cli {
namespace {

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
      InterruptWatch watch(abort);
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
}  // namespace zorbel::cli
