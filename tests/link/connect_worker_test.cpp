// The connection sequence over the board's disk, against the virtual board
// in virtual time: every status text in order, what the board received, and
// what the connection state says afterwards.
#include "link/connect_worker.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// ---------------------------------------------------------------- family disks

struct FamilyCase {
  const char* name;
  BoardKind kind;
  const char* loaderFile;
  uint32_t firstStage;
  std::string ini;  // empty: no "Zorbel.ini"
  std::vector<sim::BoardRegisterWrite> registers;
  bool refused = false;  // the file is refused with a message, and the connection goes on
};

class FamilyBootDisk : public ConnectFixture, public ::testing::WithParamInterface<FamilyCase> {};

TEST_P(FamilyBootDisk, DownloadsTheLoaderAndConnectsToItsDisk) {
  const FamilyCase& c = GetParam();
  auto board = MakeBoard(c.kind);
  const std::vector<uint8_t> loader = sim::MakeDiskLoader(c.kind, c.firstStage, 0);
  WriteFile(c.loaderFile, loader);
  if (!c.ini.empty()) WriteText("Zorbel.ini", c.ini);
  RecordingBus bus(board->Bus());

  EXPECT_EQ(Run(bus), ConnectOutcome::kMassStorage);

  // The boot disk is found at once; the loader disk comes up 300 ms after
  // the run command: tries at 0, 100, 200 and 300 ms, the fourth finds it.
  EXPECT_EQ(observer.Statuses(), Join({{"Detect VCOM... ", "Detect Mass Storage ... ",
                                        "Detect Mass Storage...(1)\n", "Download Successful...!"},
                                       Repeat("Please wait...(%d) !\n", 1, 4),
                                       {"Mass Storage Connected !"}}));
  EXPECT_EQ(board->RegisterWrites(), c.registers);
  EXPECT_EQ(board->LoadAddress(), sim::FamilyLoadAddress(c.kind));
  EXPECT_EQ(state.loaderLoadAddress, sim::FamilyLoadAddress(c.kind));
  EXPECT_EQ(board->LastLoader(), std::vector<uint8_t>(loader.begin() + 16, loader.end()));
  EXPECT_EQ(state.connection.massStorageConnected, 1);
  EXPECT_EQ(state.connection.vcomConnected, 0);
  EXPECT_NE(state.connection.deviceHandle(), nullptr);
  EXPECT_EQ(state.familyMode, 1u);
  EXPECT_TRUE(board->ProtocolErrors().empty()) << board->ProtocolErrors().front();
  EXPECT_EQ(prompt.Messages().size(), c.refused ? 1u : 0u);
  // Closing steps, then the second help text.
  const std::vector<std::string> tail(observer.events.end() - 5, observer.events.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"rebuild", "status:Mass Storage Connected !", "selector:on",
                                            "connect:on", "help"}));
  EXPECT_TRUE(observer.Has("version: 2025/02/28-V07"));
  // 'Q', the settings, 'U', 'r', run (0x60): in that order, each once.
  std::string letters;
  for (const auto& cdb : bus.sent) letters += cdb[0] == 0x06 ? static_cast<char>(cdb[1]) : '?';
  std::string expectedLetters = "Q";
  for (const auto& r : c.registers) expectedLetters += r.letter;
  EXPECT_EQ(letters, expectedLetters + "Ur\x60");
}

INSTANTIATE_TEST_SUITE_P(
    Families, FamilyBootDisk,
    ::testing::Values(
        FamilyCase{"QuenClockSkew",
                   BoardKind::kQuen,
                   "Quen_musb.bin",
                   16384,
                   "[ADDRESS]\nADDRESS=30000000\n[CLOCK_SKEW]\nDQSODS=11112222\nCKDQSDS=33334444\n",
                   {{'R', 0x11112222}, {'S', 0x33334444}}},
        // Registers go in file order; the marker address stays in the header only.
        FamilyCase{"RastRegistersInFileOrder",
                   BoardKind::kRast,
                   "Rast_musb.bin",
                   20480,
                   "[ADDRESS]\nADDRESS=30000000\n[USER_DEFINE]\nB0000204=00000010\n55AA55AA=00000001\n"
                   "B0000200=0000FFFF\n",
                   {{'R', 0xB0000204}, {'S', 0x10}, {'R', 0xB0000200}, {'S', 0xFFFF}}},
        FamilyCase{"PilkWithoutSettingsFile", BoardKind::kPilk, "Pilk_musb.bin", 4096, "", {}},
        FamilyCase{"RastRefusedSettingsSendNothing",
                   BoardKind::kRast,
                   "Rast_musb.bin",
                   8192,
                   "[USER_DEFINE]\nB0000204=not-a-number\n",
                   {},
                   true}),
    ParamName);

TEST_F(ConnectFixture, RunningFamilyLoaderSkipsTheDownload) {
  auto board = MakeBoard(BoardKind::kQuen, /*loaderStage=*/true);
  RecordingBus bus(board->Bus());

  EXPECT_EQ(Run(bus), ConnectOutcome::kMassStorage);
  EXPECT_EQ(observer.Statuses(), (std::vector<std::string>{"Detect VCOM... ", "Detect Mass Storage ... ",
                                                           "Download Successful...!", "Please wait...(1) !\n",
                                                           "Mass Storage Connected !"}));
  EXPECT_TRUE(bus.sent.empty());
  EXPECT_EQ(state.chipFamily, 1u);
  EXPECT_EQ(state.connection.productId, "6E21");
  EXPECT_TRUE(observer.Has("help"));
}

TEST_F(ConnectFixture, FamilyBootDiskThatNeverReturnsGivesUpAfter200Tries) {
  auto board = MakeBoard(BoardKind::kRast);
  WriteFile("Rast_musb.bin", sim::MakeDiskLoader(BoardKind::kRast, 8192, 0));
  board->InjectFault({sim::FaultKind::kNoReenumeration, sim::Operation::kAny, sim::Medium::kAny, 1, 0});

  const uint64_t start = clock.NowMs();
  EXPECT_EQ(Run(board->Bus()), ConnectOutcome::kFailed);
  EXPECT_EQ(observer.Statuses(), Join({{"Detect VCOM... ", "Detect Mass Storage ... ",
                                        "Detect Mass Storage...(1)\n", "Download Successful...!"},
                                       Repeat("Please wait...(%d) !\n", 1, 200),
                                       {"Mass Storage Connect Failed !", "Please reset chip and retry !"}}));
  EXPECT_EQ(state.connection.massStorageConnected, 0);
  EXPECT_EQ(observer.events.back(), "connect:on");
  // This failure leaves the selector disabled until the next attempt.
  EXPECT_FALSE(observer.Has("selector:on"));
  // 5 port tries, the boot try, 200 tries of 100 ms, then 1 s.
  EXPECT_EQ(clock.NowMs() - start, 500u + 100u + 20000u + 1000u);
}

// ---------------------------------------------------------------- first-stage details

struct StageLengthCase {
  const char* name;
  uint32_t headerLength;
  uint32_t fileStage;  // bytes actually in the file after the header
  bool sent;
};

class FirstStageLength : public ConnectFixture, public ::testing::WithParamInterface<StageLengthCase> {};

// The command block's length bytes are checked with the command library.
TEST_P(FirstStageLength, ArrivesWholeOrIsRefusedBeforeAnythingIsSent) {
  const StageLengthCase& c = GetParam();
  // A stage padded with zeros no longer matches its own tag's length.
  auto board = MakeBoard(BoardKind::kQuen, false, c.fileStage == c.headerLength);
  std::vector<uint8_t> file = sim::MakeDiskLoader(BoardKind::kQuen, c.fileStage, 0);
  StoreLe32(file.data() + 8, c.headerLength);
  WriteFile("Quen_musb.bin", file);
  RecordingBus bus(board->Bus());

  const ConnectOutcome outcome = Run(bus);
  if (!c.sent) {
    EXPECT_EQ(outcome, ConnectOutcome::kFailed);
    EXPECT_TRUE(bus.sent.empty());
    ASSERT_EQ(prompt.Messages().size(), 1u);
    EXPECT_NE(prompt.Messages()[0].find(std::to_string(c.headerLength)), std::string::npos);
    EXPECT_EQ(observer.Statuses().back(), "Please reset chip and retry!");
    return;
  }
  EXPECT_EQ(outcome, ConnectOutcome::kMassStorage);
  // What the file lacks of the announced stage arrives as zeros.
  std::vector<uint8_t> expected(file.begin() + 16, file.end());
  expected.resize(c.headerLength, 0);
  EXPECT_EQ(board->LastLoader(), expected);
}

INSTANTIATE_TEST_SUITE_P(Lengths, FirstStageLength,
                         ::testing::Values(StageLengthCase{"Exactly64K", 65536, 65536, true},
                                           StageLengthCase{"FileShorterThanAnnounced", 0x1234, 0x1000, true},
                                           StageLengthCase{"OneByteOver64K", 65537, 65537, false},
                                           StageLengthCase{"Zero", 0, 4096, false}),
                         ParamName);

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
  EXPECT_EQ(observer.Statuses().back(), kStatusComLoaderFailed);
  EXPECT_EQ(state.connection.vcomConnected, 0);
  // The file was never opened: no version to show.
  EXPECT_TRUE(observer.Has("version:"));
}

TEST_F(ConnectFixture, MissingFamilyLoaderFileIsReportedAndNothingIsSent) {
  auto board = MakeBoard(BoardKind::kPilk);
  RecordingBus bus(board->Bus());
  EXPECT_EQ(Run(bus), ConnectOutcome::kFailed);
  EXPECT_EQ(prompt.Messages(),
            (std::vector<std::string>{"File Open error0 " + state.moduleDirectory + "Pilk_musb.bin"}));
  EXPECT_TRUE(bus.sent.empty());
  const std::vector<std::string> tail(observer.events.end() - 4, observer.events.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"rebuild", "status:Please reset chip and retry!", "selector:on",
                                            "connect:on"}));
}

struct QueryCase {
  const char* name;
  uint32_t failures;
  bool ok;
};

class BootStageQuery : public ConnectFixture, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(BootStageQuery, IsTriedTenTimes) {
  const QueryCase& c = GetParam();
  auto board = MakeBoard(BoardKind::kQuen);
  WriteFile("Quen_musb.bin", sim::MakeDiskLoader(BoardKind::kQuen, 4096, 0));
  board->InjectFault(
      {sim::FaultKind::kFailCommand, sim::Operation::kBootCommand, sim::Medium::kAny, 1, c.failures});
  state.connection.volumes[0].handle = board->OpenDisk();
  state.familyMode = 1;
  state.chipFamily = 1;
  ConnectWorker worker(state, board->Bus(), clock, prompt, observer);
  EXPECT_EQ(worker.DownloadMassStorageLoader(), c.ok);
  // Waits of 100 ms come between the attempts only.
  EXPECT_EQ(clock.NowMs(), 100u * std::min<uint32_t>(c.failures, 9));
  EXPECT_EQ(board->LastLoader().empty(), !c.ok);
  EXPECT_TRUE(prompt.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Failures, BootStageQuery,
                         ::testing::Values(QueryCase{"NineFailuresThenAnswer", 9, true},
                                           QueryCase{"TenFailures", 10, false}),
                         ParamName);

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
  // B191 comes up 300 ms after the run command: tries at 0, 200 and 400 ms;
  // B192 300 ms after the second stage: tries at 0, 100, 200 and 300 ms.
  EXPECT_EQ(observer.Statuses(),
            Join({kFamilyPasses,
                  {"Detect VCOM... ", "Detect Mass Storage ... ", "Detect Mass Storage...(1)\n"},
                  Repeat("Please wait...(%d) !", 1, 3),
                  {"Download code to SDRAM...!", "Download Successful...!"},
                  Repeat("Please wait...(%d) !\n", 1, 4),
                  {"Mass Storage Connected !"}}));
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
  EXPECT_FALSE(observer.Has("help"));
}

TEST_F(ConnectFixture, OlderChipWithoutBootDiskLooksForItsLoaderDisk) {
  auto board = MakeBoard(BoardKind::kOlder, /*loaderStage=*/true);
  EXPECT_EQ(Run(board->Bus()), ConnectOutcome::kMassStorage);
  EXPECT_EQ(observer.Statuses(),
            Join({kFamilyPasses,
                  {"Detect VCOM... ", "Detect Mass Storage ... "},
                  Repeat("Detect Mass Storage...(%d)\n", 1, 30),
                  {"Please reset chip and retry!", "Please wait...(1)\n !", "Mass Storage Connected !"}}));
}

TEST_F(ConnectFixture, OlderChipWhoseIntermediateDiskNeverComesEndsWithStatus2) {
  auto board = MakeBoard(BoardKind::kOlder);
  WriteFile("musb.bin", sim::MakeDiskLoader(BoardKind::kOlder, 12288, 40000));
  board->InjectFault({sim::FaultKind::kNoReenumeration, sim::Operation::kAny, sim::Medium::kAny, 1, 0});
  EXPECT_EQ(Run(board->Bus()), ConnectOutcome::kFailed);
  const auto statuses = observer.Statuses();
  EXPECT_EQ(statuses.back(), "ERROR Status(2) !");
  EXPECT_EQ(statuses[statuses.size() - 2], "Please wait...(200) !");
  EXPECT_EQ(observer.events.back(), "connect:on");
}

TEST_F(ConnectFixture, AbortStopsTheAttemptAtItsNextWait) {
  auto board = MakeBoard(BoardKind::kOlder);
  AbortEvent abort;
  abort.Set();
  ConnectWorker worker(state, board->Bus(), clock, prompt, observer);
  worker.SetAbortEvent(&abort);
  EXPECT_EQ(worker.Run(), ConnectOutcome::kAborted);
  EXPECT_EQ(clock.NowMs(), 300u);
  EXPECT_EQ(observer.events.back(), "connect:on");
}

}  // namespace
}  // namespace zorbel::connect_test
