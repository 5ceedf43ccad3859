// The connection sequence over the board's COM port (a pseudo-terminal),
// with the "xusb.bin" stream and its progress.
#include <gtest/gtest.h>

#include <optional>
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

TEST_P(ComPortConnect, FindsTheBoardAfterTheFamilyPassesAndPostsTheLoaderProgress) {
  const uint32_t fileLength = std::stoul(GetParam()[1]);
  auto board = MakeBoard(BoardKind::kVcom);
  ASSERT_FALSE(board->PtyPath().empty());
  WriteFile("xusb.bin", sim::MakeSerialLoader(fileLength - 16));

  ASSERT_EQ(Run(board->Bus()), ConnectOutcome::kComPort);
  EXPECT_EQ(observer.events, ExpectedEvents("ComConnected", board->PtyPath()));
  // Four passes of 300 ms, then one port try of 100 ms.
  EXPECT_EQ(observer.downloadStartMs, 1300u);
  std::vector<RecordingProgress::Event> expected;
  for (const auto& p : Split(GetParam()[2], '|')) expected.push_back({kLoaderPercentMessage, std::stoi(p)});
  expected.push_back({kLoaderDoneMessage, 0});
  EXPECT_EQ(observer.progress.Events(), expected);
  EXPECT_EQ(observer.progress.Colours(), (std::vector<uint32_t>{Rgb(0xF5, 0x5C, 0x3D)}));
  EXPECT_EQ(state.connection.vcomConnected, 1);
  EXPECT_EQ(state.connection.massStorageConnected, 0);
  EXPECT_EQ(state.connection.portPath, board->PtyPath());
  EXPECT_EQ(state.familyMode, 0u);
  AwaitLoaderStage(*board);
  EXPECT_EQ(board->CurrentStage(), sim::Stage::kLoader);
  // The board got the announced count: the file after its header, then 16 zeros.
  EXPECT_EQ(board->LastLoader().size(), fileLength - 16);
  EXPECT_TRUE(board->ProtocolErrors().empty()) << board->ProtocolErrors().front();
}

INSTANTIATE_TEST_SUITE_P(FileLengths, ComPortConnect,
                         ::testing::ValuesIn(testing::LoadTable("link/com_progress.tsv")), RowName);

struct FailedLoaderCase {
  const char* name;
  std::optional<std::vector<uint8_t>> file;
  std::string message;  // empty: none
  std::string version;
};

std::vector<uint8_t> WithoutMagic() {
  auto f = sim::MakeSerialLoader(5000);
  f[0] = 'X';
  return f;
}

class FailedComLoader : public ConnectFixture, public ::testing::WithParamInterface<FailedLoaderCase> {};

// A board whose loader did not arrive is no connection. The board acknowledges
// the second chunk wrong; only a loader that gets so far sees that.
TEST_P(FailedComLoader, EndsAsAFailedConnection) {
  const FailedLoaderCase& c = GetParam();
  auto board = MakeBoard(BoardKind::kVcom);
  if (c.file) WriteFile("xusb.bin", *c.file);
  board->InjectFault(
      {sim::FaultKind::kWrongChunkAck, sim::Operation::kLoaderStream, sim::Medium::kAny, 2, 7});

  EXPECT_EQ(Run(board->Bus()), ConnectOutcome::kFailed);
  EXPECT_EQ(observer.events, ExpectedEvents("ComFailed", c.version));
  EXPECT_EQ(prompt.Messages(), Split(c.message, '|'));
  EXPECT_EQ(state.connection.vcomConnected, 0);
  EXPECT_EQ(state.connection.portPath, "");
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FailedComLoader,
    ::testing::Values(FailedLoaderCase{"NoFile", std::nullopt, " xusb.bin File Open error \n", ""},
                      FailedLoaderCase{"ZeroLength", std::vector<uint8_t>{}, "File length is zero\n", ""},
                      FailedLoaderCase{"ShorterThanHeader", std::vector<uint8_t>{'Q', 'K', 0x5A},
                                       "Invalid Image !", ""},
                      FailedLoaderCase{"BadMagic", WithoutMagic(), "Invalid Image !", " 2024/06/15-V12"},
                      FailedLoaderCase{"WrongAck", sim::MakeSerialLoader(9000), "", " 2024/06/15-V12"}),
    [](const auto& info) { return std::string(info.param.name); });

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
