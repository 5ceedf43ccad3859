// The board's COM port when the other end goes away in the middle of an
// exchange, driven with raw bytes on the pseudo-terminal slave: the next
// opening must start clean.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "board_test_util.h"
#include "serial_line_posix.h"
#include "virtual_board.h"

namespace zorbel::sim::test {
namespace {

Bytes Head60(uint32_t command, uint32_t length, uint32_t number, uint32_t type, uint32_t start) {
  return ImageHead(60, command, length, number, "image", type, 0x8000, start);
}

TEST(SerialPortClosed, ReplyLeftUnreadIsDroppedAndATransferCutOffEnds) {
  FakeClock clock;
  VirtualBoard board(BoardOn(BoardKind::kVcom, &clock));
  {
    Line first(board.PtyPath());
    ASSERT_TRUE(first.Start(5, Head60(0, 10, 1, 0, 1)));
    first.Write(Pattern(10, 1));  // the ack and the status words stay unread
    ASSERT_EQ(first.Read(4).size(), 4u);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let the board see the port close
  {
    Line second(board.PtyPath());
    EXPECT_EQ(second.Choose(4), 1) << "stale status words in front of the reply";
    ASSERT_TRUE(second.Start(3, Head60(0, 8192, 2, 0, 1)));
    second.Write(Pattern(100, 2));  // closes in the middle of the first chunk
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  Line third(board.PtyPath());
  EXPECT_EQ(third.Choose(4), 1) << "the request was taken as chunk data";
  EXPECT_FALSE(board.FindImage(Medium::kNand, 2));
  EXPECT_TRUE(board.FindImage(Medium::kSpi, 1));
}

}  // namespace
}  // namespace zorbel::sim::test
