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
    ASSERT_TRUE(line.Write(LeWords({static_cast<uint32_t>(file.size()), Le32(file, 4)})));
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

// The board drops what the tool left unread when it closed its end; a test
// opens the line again only once the board has seen it closed.
bool WaitForClosing(const VirtualBoard& board, uint32_t before) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (board.SerialPortClosings() == before) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

TEST(SerialPortClosed, ReplyLeftUnreadIsDroppedAndATransferCutOffEnds) {
  FakeClock clock;
  VirtualBoard board(BoardOn(BoardKind::kVcom, &clock));
  uint32_t closings = 0;
  {
    Line first(board.PtyPath());
    ASSERT_TRUE(first.Start(5, ImageHead(0, 10, 1, "image", 0, 0x8000, 1)));
    first.Write(Pattern(10, 1));  // the ack and the status words stay unread
    ASSERT_EQ(first.Read(4).size(), 4u);
    closings = board.SerialPortClosings();
  }
  ASSERT_TRUE(WaitForClosing(board, closings));
  {
    Line second(board.PtyPath());
    EXPECT_EQ(second.Choose(4), 1) << "stale status words in front of the reply";
    ASSERT_TRUE(second.Start(3, ImageHead(0, 8192, 2, "image", 0, 0x8000, 1)));
    second.Write(Pattern(100, 2));  // closes in the middle of the first chunk
    closings = board.SerialPortClosings();
  }
  ASSERT_TRUE(WaitForClosing(board, closings));
  Line third(board.PtyPath());
  EXPECT_EQ(third.Choose(4), 1) << "the request was taken as chunk data";
  EXPECT_FALSE(board.FindImage(Medium::kNand, 2));
  EXPECT_TRUE(board.FindImage(Medium::kSpi, 1));
}

}  // namespace
}  // namespace zorbel::sim::test
