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

struct ProgressCase {
  const char* name;
  uint32_t fileLength;
  std::vector<int> percents;
};

class ComPortConnect : public ConnectFixture, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(ComPortConnect, FindsTheBoardAfterTheFamilyPassesAndPostsTheLoaderProgress) {
  const ProgressCase& c = GetParam();
  auto board = MakeBoard(BoardKind::kVcom);
  ASSERT_FALSE(board->PtyPath().empty());
  WriteFile("xusb.bin", sim::MakeSerialLoader(c.fileLength - 16));

  ASSERT_EQ(Run(board->Bus()), ConnectOutcome::kComPort);
  EXPECT_EQ(observer.Statuses(),
            Join({kFamilyPasses, {"Detect VCOM... ", " " + board->PtyPath() + " Connected"}}));
  // Four passes of 300 ms, then one port try of 100 ms.
  EXPECT_EQ(observer.downloadStartMs, 1300u);
  std::vector<RecordingProgress::Event> expected;
  for (int p : c.percents) expected.push_back({kLoaderPercentMessage, p});
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
  EXPECT_EQ(board->LastLoader().size(), c.fileLength - 16);
  EXPECT_TRUE(board->ProtocolErrors().empty()) << board->ProtocolErrors().front();
  EXPECT_TRUE(observer.Has("version: 2024/06/15-V12"));
  EXPECT_EQ(observer.events.front(), "connect:off");
  EXPECT_EQ(observer.events.back(), "connect:on");
  EXPECT_TRUE(observer.Has("selector:on"));
  EXPECT_FALSE(observer.Has("help"));
}

INSTANTIATE_TEST_SUITE_P(
    FileLengths, ComPortConnect,
    ::testing::Values(
        // A multiple of 4096: no remainder chunk, the last percentage after the last full chunk.
        ProgressCase{"TwoFullChunks", 8192, {50, 100}},
        ProgressCase{"FiveFullChunks", 20480, {20, 40, 60, 80, 100}},
        ProgressCase{"RemainderOnly", 100, {100}},
        // 33, 66 and 99 are no multiples of 5; only the capped 100 is posted.
        ProgressCase{"FullChunksAndRemainder", 12388, {100}}),
    ParamName);

struct FailedLoaderCase {
  const char* name;
  bool writeFile;
  std::vector<uint8_t> file;
  bool wrongAck;
  std::vector<std::string> messages;
  std::string version;
};

std::vector<uint8_t> WithoutMagic() {
  auto f = sim::MakeSerialLoader(5000);
  f[0] = 'X';
  return f;
}

class FailedComLoader : public ConnectFixture, public ::testing::WithParamInterface<FailedLoaderCase> {};

// A board whose loader did not arrive is no connection.
TEST_P(FailedComLoader, EndsAsAFailedConnection) {
  const FailedLoaderCase& c = GetParam();
  auto board = MakeBoard(BoardKind::kVcom);
  if (c.writeFile) WriteFile("xusb.bin", c.file);
  if (c.wrongAck)
    board->InjectFault(
        {sim::FaultKind::kWrongChunkAck, sim::Operation::kLoaderStream, sim::Medium::kAny, 2, 7});

  EXPECT_EQ(Run(board->Bus()), ConnectOutcome::kFailed);
  EXPECT_EQ(observer.Statuses(), Join({kFamilyPasses, {"Detect VCOM... ", kStatusComLoaderFailed}}));
  EXPECT_EQ(prompt.Messages(), c.messages);
  EXPECT_EQ(state.connection.vcomConnected, 0);
  EXPECT_EQ(state.connection.portPath, "");
  EXPECT_TRUE(observer.Has("version:" + c.version));
  EXPECT_EQ(observer.events.back(), "connect:on");
  EXPECT_TRUE(observer.Has("selector:on"));
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FailedComLoader,
    ::testing::Values(
        FailedLoaderCase{"NoFile", false, {}, false, {" xusb.bin File Open error \n"}, ""},
        FailedLoaderCase{"ZeroLength", true, {}, false, {"File length is zero\n"}, ""},
        FailedLoaderCase{"ShorterThanHeader", true, {'Q', 'K', 0x5A}, false, {"Invalid Image !"}, ""},
        FailedLoaderCase{"BadMagic", true, WithoutMagic(), false, {"Invalid Image !"}, " 2024/06/15-V12"},
        FailedLoaderCase{"WrongAck", true, sim::MakeSerialLoader(9000), true, {}, " 2024/06/15-V12"}),
    ParamName);

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
    const std::string last = answers ? " " + board->PtyPath() + " Connected" : kStatusComLoaderFailed;
    EXPECT_EQ(observer.Statuses(), Join({kFamilyPasses, {"Detect VCOM... ", last}}));
    EXPECT_EQ(SelectorConnectionOf(state.connection),
              answers ? SelectorConnection::kComPort : SelectorConnection::kNone);
    EXPECT_TRUE(prompt.Messages().empty());
    EXPECT_EQ(observer.events.back(), "connect:on");
  }
}

}  // namespace
}  // namespace zorbel::connect_test
