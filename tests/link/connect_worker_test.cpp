// The connection sequence over the board's disk, against the virtual board
// in virtual time: every status text in order, what the board received, and
// what the connection state says afterwards.
#include "link/connect_worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/abort_event.h"
#include "app/byte_order.h"
#include "app/selector.h"
#include "connect_support.h"
#include "link/loader_download.h"
#include "link/serial_port.h"
#include "standin_files.h"
#include "virtual_board.h"

namespace zorbel::connect_test {
namespace {

const std::map<std::string, BoardKind> kBoardKinds = {
    {"Quen", BoardKind::kQuen}, {"Rast", BoardKind::kRast}, {"Pilk", BoardKind::kPilk}};

std::string Hex(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%X", value);
  return text;
}

// ---------------------------------------------------------------- family disks

class FamilyBootDisk : public ConnectFixture, public ::testing::WithParamInterface<testing::TableRow> {};

TEST_P(FamilyBootDisk, DownloadsTheLoaderAndConnectsToItsDisk) {
  const testing::TableRow& row = GetParam();
  const BoardKind kind = kBoardKinds.at(row[1]);
  auto board = MakeBoard(kind);
  const std::vector<uint8_t> loader = sim::MakeDiskLoader(kind, std::stoul(row[3]), 0);
  WriteFile(row[2], loader);
  if (!row[4].empty()) WriteText("Zorbel.ini", row[4]);
  RecordingBus bus(board->Bus());

  EXPECT_EQ(Run(bus), ConnectOutcome::kMassStorage);
  EXPECT_EQ(observer.events, ExpectedEvents("FamilyDownload"));
  std::vector<std::string> registers;
  for (const auto& r : board->RegisterWrites()) registers.push_back(r.letter + ("=" + Hex(r.value)));
  EXPECT_EQ(registers, Split(row[5], '|'));
  EXPECT_EQ(board->LoadAddress(), sim::FamilyLoadAddress(kind));
  EXPECT_EQ(state.loaderLoadAddress, sim::FamilyLoadAddress(kind));
  EXPECT_EQ(board->LastLoader(), std::vector<uint8_t>(loader.begin() + 16, loader.end()));
  EXPECT_EQ(state.connection.massStorageConnected, 1);
  EXPECT_EQ(state.connection.vcomConnected, 0);
  EXPECT_NE(state.connection.deviceHandle(), nullptr);
  EXPECT_EQ(state.familyMode, 1u);
  EXPECT_TRUE(board->ProtocolErrors().empty()) << board->ProtocolErrors().front();
  EXPECT_EQ(prompt.Messages().size(), row[6] == "1" ? 1u : 0u);
  // 'Q', the settings, 'U', 'r', run (0x60): in that order, each once.
  std::string letters;
  for (const auto& cdb : bus.sent) letters += cdb[0] == 0x06 ? static_cast<char>(cdb[1]) : '?';
  std::string expectedLetters = "Q";
  for (const auto& r : registers) expectedLetters += r[0];
  EXPECT_EQ(letters, expectedLetters + "Ur\x60");
}

INSTANTIATE_TEST_SUITE_P(Families, FamilyBootDisk,
                         ::testing::ValuesIn(testing::LoadTable("link/family_boot.tsv")), RowName);

TEST_F(ConnectFixture, RunningFamilyLoaderSkipsTheDownload) {
  auto board = MakeBoard(BoardKind::kQuen, /*loaderStage=*/true);
  RecordingBus bus(board->Bus());

  EXPECT_EQ(Run(bus), ConnectOutcome::kMassStorage);
  EXPECT_EQ(observer.events, ExpectedEvents("FamilyLoaderRunning"));
  EXPECT_TRUE(bus.sent.empty());
  EXPECT_EQ(state.chipFamily, 1u);
  EXPECT_EQ(state.connection.productId, "6E21");
}

TEST_F(ConnectFixture, FamilyBootDiskThatNeverReturnsGivesUpAfter200Tries) {
  auto board = MakeBoard(BoardKind::kRast);
  WriteFile("Rast_musb.bin", sim::MakeDiskLoader(BoardKind::kRast, 8192, 0));
  board->InjectFault({sim::FaultKind::kNoReenumeration, sim::Operation::kAny, sim::Medium::kAny, 1, 0});

  const uint64_t start = clock.NowMs();
  EXPECT_EQ(Run(board->Bus()), ConnectOutcome::kFailed);
  EXPECT_EQ(observer.events, ExpectedEvents("FamilyNeverReturns"));
  EXPECT_EQ(state.connection.massStorageConnected, 0);
  // 5 port tries, the boot try, 200 tries of 100 ms, then 1 s.
  EXPECT_EQ(clock.NowMs() - start, 500u + 100u + 20000u + 1000u);
}

// ---------------------------------------------------------------- first-stage details

class FirstStageLength : public ConnectFixture, public ::testing::WithParamInterface<testing::TableRow> {};

// The command block's length bytes are checked with the command library.
TEST_P(FirstStageLength, ArrivesWholeOrIsRefusedBeforeAnythingIsSent) {
  const uint32_t headerLength = std::stoul(GetParam()[1]);
  const uint32_t fileStage = std::stoul(GetParam()[2]);  // bytes actually in the file after the header
  // A stage padded with zeros no longer matches its own tag's length.
  auto board = MakeBoard(BoardKind::kQuen, false, fileStage == headerLength);
  std::vector<uint8_t> file = sim::MakeDiskLoader(BoardKind::kQuen, fileStage, 0);
  StoreLe32(file.data() + 8, headerLength);
  WriteFile("Quen_musb.bin", file);
  RecordingBus bus(board->Bus());

  const ConnectOutcome outcome = Run(bus);
  if (GetParam()[3] == "0") {
    EXPECT_EQ(outcome, ConnectOutcome::kFailed);
    EXPECT_TRUE(bus.sent.empty());
    ASSERT_EQ(prompt.Messages().size(), 1u);
    EXPECT_NE(prompt.Messages()[0].find(std::to_string(headerLength)), std::string::npos);
    EXPECT_EQ(observer.events, ExpectedEvents("FamilyRefused"));
    return;
  }
  EXPECT_EQ(outcome, ConnectOutcome::kMassStorage);
  // What the file lacks of the announced stage arrives as zeros.
  std::vector<uint8_t> expected(file.begin() + 16, file.end());
  expected.resize(headerLength, 0);
  EXPECT_EQ(board->LastLoader(), expected);
}

INSTANTIATE_TEST_SUITE_P(Lengths, FirstStageLength,
                         ::testing::ValuesIn(testing::LoadTable("link/first_stage.tsv")), RowName);

// A port that takes one byte less of every data chunk than it is given.
class ShortWritePort final : public SerialPort {
 public:
  uint32_t Open(const std::string&, uint32_t, uint32_t) override { return win_error::kSuccess; }
  uint32_t Close() override { return win_error::kSuccess; }
  uint32_t Write(const void*, uint32_t len, uint32_t* written, SerialOverlapped*, uint32_t) override {
    ++writes;
    *written = len == 8 ? len : len - 1;  // the start record goes out whole
    return win_error::kSuccess;
  }
  uint32_t Read(void*, uint32_t, uint32_t* got, SerialOverlapped*, uint32_t) override {
    ++reads;
    *got = 0;
    return win_error::kSuccess;
  }
  int writes = 0;
  int reads = 0;
};

// A chunk the port did not take whole ends the download: going on would
// leave the board's count and the tool's apart.
TEST_F(ConnectFixture, ChunkNotWrittenWholeFailsTheDownload) {
  WriteFile("xusb.bin", sim::MakeSerialLoader(9000));
  ShortWritePort port;
  RecordingProgress progress;
  const LoaderDownloadResult result =
      DownloadComLoader(port, "port", state.moduleDirectory + "xusb.bin", prompt, progress);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(port.writes, 2);
  EXPECT_EQ(port.reads, 0);
  EXPECT_TRUE(progress.Events().empty());
  EXPECT_TRUE(prompt.Messages().empty());
}

TEST_F(ConnectFixture, PortThatDoesNotOpenIsNoConnection) {
  WriteFile("xusb.bin", sim::MakeSerialLoader(5000));
  ListedBus bus;  // lists a port that cannot be opened
  bus.ports = {{0, "/nonexistent/ttyACM9", "Velmora ARM 926-Based MCU Ports"}};
  EXPECT_EQ(Run(bus), ConnectOutcome::kFailed);
  EXPECT_EQ(prompt.Messages(), (std::vector<std::string>{"Failed to open /nonexistent/ttyACM9"}));
  EXPECT_EQ(observer.events, ExpectedEvents("ComFailed"));  // never opened: no version to show
  EXPECT_EQ(state.connection.vcomConnected, 0);
}

TEST_F(ConnectFixture, MissingFamilyLoaderFileIsReportedAndNothingIsSent) {
  auto board = MakeBoard(BoardKind::kPilk);
  RecordingBus bus(board->Bus());
  EXPECT_EQ(Run(bus), ConnectOutcome::kFailed);
  EXPECT_EQ(prompt.Messages(),
            (std::vector<std::string>{"File Open error0 " + state.moduleDirectory + "Pilk_musb.bin"}));
  EXPECT_TRUE(bus.sent.empty());
  EXPECT_EQ(observer.events, ExpectedEvents("FamilyRefused"));
}

class BootStageQuery : public ConnectFixture, public ::testing::WithParamInterface<uint32_t> {};

// Nine failures and then an answer connect; ten do not.
TEST_P(BootStageQuery, IsTriedTenTimes) {
  const uint32_t failures = GetParam();
  auto board = MakeBoard(BoardKind::kQuen);
  WriteFile("Quen_musb.bin", sim::MakeDiskLoader(BoardKind::kQuen, 4096, 0));
  board->InjectFault(
      {sim::FaultKind::kFailCommand, sim::Operation::kBootCommand, sim::Medium::kAny, 1, failures});
  state.connection.volumes[0].handle = board->OpenDisk();
  state.familyMode = 1;
  state.chipFamily = 1;
  ConnectWorker worker(state, board->Bus(), clock, prompt, observer);
  EXPECT_EQ(worker.DownloadMassStorageLoader(), failures < 10);
  // Waits of 100 ms come between the attempts only.
  EXPECT_EQ(clock.NowMs(), 100u * std::min<uint32_t>(failures, 9));
  EXPECT_EQ(board->LastLoader().empty(), failures >= 10);
  EXPECT_TRUE(prompt.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Failures, BootStageQuery, ::testing::Values(9u, 10u));

TEST_F(ConnectFixture, NoDeviceHandleIsReported) {
  state.familyMode = 1;
  auto board = MakeBoard(BoardKind::kQuen);
  ConnectWorker worker(state, board->Bus(), clock, prompt, observer);
  EXPECT_FALSE(worker.DownloadMassStorageLoader());
  EXPECT_EQ(prompt.Messages(), (std::vector<std::string>{"No Device Handle"}));
}

// ---------------------------------------------------------------- the older chip

TEST_F(ConnectFixture, OlderChipGoesThroughBothLoaderStages) {
  auto board = MakeBoard(BoardKind::kOlder);
  const std::vector<uint8_t> loader = sim::MakeDiskLoader(BoardKind::kOlder, 12288, 40000);
  WriteFile("musb.bin", loader);
  RecordingBus bus(board->Bus());

  EXPECT_EQ(Run(bus), ConnectOutcome::kMassStorage);
  EXPECT_EQ(observer.events, ExpectedEvents("OlderBothStages"));
  EXPECT_EQ(state.familyMode, 0u);
  EXPECT_EQ(state.loaderLoadAddress, 0xFFE76000u);
  EXPECT_EQ(board->LoadAddress(), 0xFFE76000u);
  EXPECT_EQ(state.connection.loaderLength, 12288u);
  EXPECT_EQ(state.connection.productId, "B192");
  EXPECT_EQ(state.connection.massStorageConnected, 1);
  EXPECT_TRUE(board->RegisterWrites().empty());
  // The second stage is the rest of the file.
  EXPECT_EQ(board->LastLoader(), std::vector<uint8_t>(loader.begin() + 16 + 12288, loader.end()));
  EXPECT_TRUE(board->ProtocolErrors().empty()) << board->ProtocolErrors().front();
  // Marked before every search of the older chip's stages.
  EXPECT_EQ(std::count(bus.marks.begin(), bus.marks.end(), "B190"), 1);
  EXPECT_EQ(std::count(bus.marks.begin(), bus.marks.end(), "B191"), 3);
  EXPECT_EQ(std::count(bus.marks.begin(), bus.marks.end(), "B192"), 4);
}

TEST_F(ConnectFixture, OlderChipWithoutBootDiskLooksForItsLoaderDisk) {
  auto board = MakeBoard(BoardKind::kOlder, /*loaderStage=*/true);
  EXPECT_EQ(Run(board->Bus()), ConnectOutcome::kMassStorage);
  EXPECT_EQ(observer.events, ExpectedEvents("OlderLoaderRunning"));
}

TEST_F(ConnectFixture, OlderChipWhoseIntermediateDiskNeverComesEndsWithStatus2) {
  auto board = MakeBoard(BoardKind::kOlder);
  WriteFile("musb.bin", sim::MakeDiskLoader(BoardKind::kOlder, 12288, 40000));
  board->InjectFault({sim::FaultKind::kNoReenumeration, sim::Operation::kAny, sim::Medium::kAny, 1, 0});
  EXPECT_EQ(Run(board->Bus()), ConnectOutcome::kFailed);
  EXPECT_EQ(observer.events, ExpectedEvents("OlderIntermediateNever"));
}

TEST_F(ConnectFixture, AbortStopsTheAttemptAtItsNextWait) {
  auto board = MakeBoard(BoardKind::kOlder);
  AbortEvent abort;
  abort.Set();
  ConnectWorker worker(state, board->Bus(), clock, prompt, observer);
  worker.SetAbortEvent(&abort);
  EXPECT_EQ(worker.Run(), ConnectOutcome::kAborted);
  EXPECT_EQ(clock.NowMs(), 300u);
  EXPECT_EQ(observer.events, ExpectedEvents("Aborted"));
}

}  // namespace
}  // namespace zorbel::connect_test
