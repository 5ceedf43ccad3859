// The connection sequence over the board's COM port (a pseudo-terminal),
// with the "xusb.bin" stream and its progress.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/selector.h"
#include "connect_support.h"
#include "link/connect_worker.h"
#include "link/loader_download.h"
#include "standin_files.h"
#include "virtual_board.h"

namespace zorbel::connect_test {
namespace {

class ComPortConnect : public ConnectFixture, public ::testing::WithParamInterface<testing::TableRow> {};

TEST_P(ComPortConnect, ConnectsWithItsLoaderAndPostsTheProgressOrFails) {
  testing::TableRow row = GetParam();
  row.resize(10);  // trailing cells left empty
  auto board = MakeBoard(BoardKind::kVcom);
  ASSERT_FALSE(board->PtyPath().empty());
  std::vector<uint8_t> file(row[2].begin(), row[2].end());
  if (row[1] == "loader") file = sim::MakeSerialLoader(std::stoul(row[2]));
  if (!row[3].empty()) file[0] = static_cast<uint8_t>(row[3][0]);
  if (row[1] != "none") WriteFile("xusb.bin", file);
  if (row[4] == "wrong second ack") {
    board->InjectFault(
        {sim::FaultKind::kWrongChunkAck, sim::Operation::kLoaderStream, sim::Medium::kAny, 2, 7});
  }

  const bool connects = row[5] == "connects";
  ASSERT_EQ(Run(board->Bus()), connects ? ConnectOutcome::kComPort : ConnectOutcome::kFailed);
  EXPECT_EQ(observer.events, ExpectedEvents(row[6], connects ? board->PtyPath() : row[7]));
  EXPECT_EQ(prompt.Messages(), Split(row[8], '|'));
  EXPECT_EQ(state.connection.vcomConnected, connects ? 1 : 0);
  EXPECT_EQ(state.connection.massStorageConnected, 0);
  EXPECT_EQ(state.connection.portPath, connects ? board->PtyPath() : "");
  if (!connects) return;
  // Four passes of 300 ms, then one port try of 100 ms.
  EXPECT_EQ(observer.downloadStartMs, 1300u);
  std::vector<RecordingProgress::Event> expected;
  for (const auto& p : Split(row[9], '|')) expected.push_back({kLoaderPercentMessage, std::stoi(p)});
  expected.push_back({kLoaderDoneMessage, 0});
  EXPECT_EQ(observer.progress.Events(), expected);
  EXPECT_EQ(observer.progress.Colours(), (std::vector<uint32_t>{Rgb(0xF5, 0x5C, 0x3D)}));
  EXPECT_EQ(state.familyMode, 0u);
  AwaitLoaderStage(*board);
  EXPECT_EQ(board->CurrentStage(), sim::Stage::kLoader);
  // The board got the announced count: the file after its header, then 16 zeros.
  EXPECT_EQ(board->LastLoader().size(), file.size() - 16);
  EXPECT_TRUE(board->ProtocolErrors().empty()) << board->ProtocolErrors().front();
}

INSTANTIATE_TEST_SUITE_P(Files, ComPortConnect,
                         ::testing::ValuesIn(testing::LoadTable("link/com_connects.tsv")), RowName);

// Connect pressed again while the board kept its loader running: the stream
// goes to a loader that takes it for commands, and only the block-size
// question tells a usable board from one that never answers.
TEST_F(ConnectFixture, ASecondConnectAsksTheRunningLoader) {
  auto board = MakeBoard(BoardKind::kVcom);
  WriteFile("xusb.bin", sim::MakeSerialLoader(9000));
  ASSERT_EQ(Run(board->Bus()), ConnectOutcome::kComPort);
  AwaitLoaderStage(*board);
  for (const bool answers : {true, false}) {
    if (!answers)
      board->InjectFault(
          {sim::FaultKind::kFailCommand, sim::Operation::kChooseMethod, sim::Medium::kAny, 1, 1000});
    observer.events.clear();
    EXPECT_EQ(Run(board->Bus()), answers ? ConnectOutcome::kComPort : ConnectOutcome::kFailed);
    EXPECT_EQ(observer.events, answers ? ExpectedEvents("ComConnected", board->PtyPath())
                                       : ExpectedEvents("ComFailed", " 2024/06/15-V12"));
    EXPECT_EQ(SelectorConnectionOf(state.connection),
              answers ? SelectorConnection::kComPort : SelectorConnection::kNone);
    EXPECT_TRUE(prompt.Messages().empty());
  }
}

}  // namespace
}  // namespace zorbel::connect_test
