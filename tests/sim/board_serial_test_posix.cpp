// The board's COM port, driven with raw bytes on the pseudo-terminal slave:
// the boot code's loader stream, which no test of the tool writes by hand,
// and the other end going away in the middle of an exchange.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "board_test_util.h"
#include "serial_line_posix.h"
#include "standin_files.h"
#include "virtual_board.h"

namespace zorbel::sim::test {
namespace {

Bytes Head60(uint32_t command, uint32_t length, uint32_t number, uint32_t type, uint32_t start) {
  return ImageHead(60, command, length, number, "image", type, 0x8000, start);
}

// A start record {file length, load address}, then the file from just after
// its 16-byte header, padded to the file length, in chunks of 4096 bytes that
// are each acknowledged with their length.
TEST(SerialLoaderStream, IsAcknowledgedChunkByChunkAndStartsTheLoader) {
  for (uint32_t payload : {4096u * 3 - 16, 20000u}) {  // no remainder chunk; one
    SCOPED_TRACE(payload);
    FakeClock clock;
    VirtualBoard board(BoardOn(BoardKind::kVcom, &clock, false));
    Line line(board.PtyPath());
    ASSERT_TRUE(line.ok());
    const Bytes file = MakeSerialLoader(payload);
    Bytes start(8);
    Put32(&start[0], static_cast<uint32_t>(file.size()));
    Put32(&start[4], Get32(&file[4]));
    ASSERT_TRUE(line.Write(start));
    Bytes rest(file.begin() + 16, file.end());
    rest.resize(file.size(), 0);
    std::vector<uint32_t> acks, expected;
    for (size_t at = 0; at < rest.size(); at += 4096) {
      const size_t n = std::min<size_t>(4096, rest.size() - at);
      ASSERT_TRUE(line.Write(Bytes(rest.begin() + static_cast<std::ptrdiff_t>(at),
                                   rest.begin() + static_cast<std::ptrdiff_t>(at + n))));
      acks.push_back(line.Word().value_or(0));
      expected.push_back(static_cast<uint32_t>(n));
    }
    EXPECT_EQ(acks, expected);
    EXPECT_EQ(line.Choose(4), 1) << "the loader answers once it runs";
    EXPECT_EQ(board.LastLoader(), Bytes(file.begin() + 16, file.end()));
    EXPECT_TRUE(board.ProtocolErrors().empty());
  }
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
