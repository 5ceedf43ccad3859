// The connection sequence against the virtual board, in virtual time: every
// status text in order, what the board received, and what the connection
// state says afterwards.
#include "link/connect_worker.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/abort_event.h"
#include "app/byte_order.h"
#include "app/clock.h"
#include "app/progress_sink.h"
#include "app/selector.h"
#include "app/tool_state.h"
#include "app/user_prompt.h"
#include "link/device_bus.h"
#include "link/loader_download.h"
#include "standin_files.h"
#include "virtual_board.h"

namespace zorbel {
namespace {

namespace fs = std::filesystem;
using sim::BoardKind;

// Everything the main window would be told, in order.
class RecordingObserver final : public ConnectionObserver {
 public:
  explicit RecordingObserver(Clock& clock) : clock_(clock) {}
  void SetStatus(const std::string& text) override { Add("status:" + text); }
  void SetVersionLabel(const std::string& text) override { Add("version:" + text); }
  void ShowConnectedHelp() override { Add("help"); }
  void EnableConnectButton(bool enabled) override { Add(enabled ? "connect:on" : "connect:off"); }
  void EnableSelector(bool enabled) override { Add(enabled ? "selector:on" : "selector:off"); }
  void RebuildSelector() override { Add("rebuild"); }
  ProgressSink* BeginLoaderDownload() override {
    downloadStartMs = clock_.NowMs();
    Add("download:begin");
    return &progress;
  }
  void EndLoaderDownload() override { Add("download:end"); }

  std::vector<std::string> Statuses() const {
    std::vector<std::string> out;
    for (const auto& e : events)
      if (e.rfind("status:", 0) == 0) out.push_back(e.substr(7));
    return out;
  }
  bool Has(const std::string& event) const {
    return std::find(events.begin(), events.end(), event) != events.end();
  }

  std::vector<std::string> events;
  RecordingProgress progress;
  uint64_t downloadStartMs = 0;

 private:
  void Add(std::string e) { events.push_back(std::move(e)); }
  Clock& clock_;
};

struct SentCommand {
  std::array<uint8_t, 16> cdb;
  uint32_t dataLength;
};

// Passes every command on to the board's disk and keeps its block.
class RecordingTransport final : public ScsiTransport {
 public:
  RecordingTransport(std::unique_ptr<ScsiTransport> inner, std::vector<SentCommand>& log)
      : inner_(std::move(inner)), log_(log) {}
  bool Execute(const ScsiCommand& c) override {
    log_.push_back({c.cdb, c.dataLength});
    return inner_->Execute(c);
  }
  uint32_t LastError() const override { return inner_->LastError(); }

 private:
  std::unique_ptr<ScsiTransport> inner_;
  std::vector<SentCommand>& log_;
};

class RecordingBus final : public DeviceBus {
 public:
  explicit RecordingBus(DeviceBus& inner) : inner_(inner) {}
  bool EnumerateMcuPorts(std::vector<McuPort>& ports) override { return inner_.EnumerateMcuPorts(ports); }
  std::vector<std::string> FindVolumesForDevice(const std::string& id) override {
    return inner_.FindVolumesForDevice(id);
  }
  std::unique_ptr<ScsiTransport> OpenVolume(const std::string& path, uint32_t* error) override {
    auto t = inner_.OpenVolume(path, error);
    if (!t) return t;
    return std::make_unique<RecordingTransport>(std::move(t), sent);
  }
  void MarkDeviceInRegistry(const std::string& v, const std::string& p, UserPrompt& prompt) override {
    marks.push_back(p);
    inner_.MarkDeviceInRegistry(v, p, prompt);
  }
  std::vector<SentCommand> sent;
  std::vector<std::string> marks;

 private:
  DeviceBus& inner_;
};

std::vector<std::string> Repeat(const char* format, int from, int to) {
  std::vector<std::string> out;
  for (int i = from; i <= to; ++i) {
    std::string s = format;
    s.replace(s.find("%d"), 2, std::to_string(i));
    out.push_back(s);
  }
  return out;
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The board's serial side stores the loader on its own thread, possibly just
// after its last acknowledgement reached the tool.
void AwaitLoaderStage(sim::VirtualBoard& board) {
  for (int i = 0; i < 5000 && board.CurrentStage() != sim::Stage::kLoader; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

const std::vector<std::string> kFamilyPasses = Repeat("Detect Mass Storage...(%d)\n", 1, 4);

class ConnectFixture : public ::testing::Test {
 protected:
  ConnectFixture() {
    dir_ = fs::temp_directory_path() / ("zorbel-connect-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    state.moduleDirectory = dir_.string() + "/";
  }
  ~ConnectFixture() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  void WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream f(dir_ / name, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  void WriteText(const std::string& name, const std::string& text) { std::ofstream(dir_ / name) << text; }

  std::unique_ptr<sim::VirtualBoard> MakeBoard(BoardKind kind, bool loaderStage = false,
                                               bool checkTag = true) {
    sim::BoardOptions options;
    options.kind = kind;
    options.clock = &clock;
    options.startInLoaderStage = loaderStage;
    options.checkLoaderTag = checkTag;
    return std::make_unique<sim::VirtualBoard>(options);
  }

  ConnectOutcome Run(DeviceBus& bus) {
    ConnectWorker worker(state, bus, clock, prompt, observer);
    return worker.Run();
  }

  FakeClock clock;
  ToolState state;
  RecordingPrompt prompt;
  RecordingObserver observer{clock};
  fs::path dir_;
};

// ---------------------------------------------------------------- COM port

TEST_F(ConnectFixture, ComPortBoardIsFoundOnTheFirstPortTryAfterTheFamilyPasses) {
  auto board = MakeBoard(BoardKind::kVcom);
  ASSERT_FALSE(board->PtyPath().empty());
  WriteFile("xusb.bin", sim::MakeSerialLoader(20000));

  EXPECT_EQ(Run(board->Bus()), ConnectOutcome::kComPort);

  EXPECT_EQ(observer.Statuses(),
            Join({kFamilyPasses, {"Detect VCOM... ", " " + board->PtyPath() + " Connected"}}));
  // Four passes of 300 ms, then one port try of 100 ms.
  EXPECT_EQ(observer.downloadStartMs, 1300u);
  EXPECT_EQ(state.connection.vcomConnected, 1);
  EXPECT_EQ(state.connection.massStorageConnected, 0);
  EXPECT_EQ(state.connection.portPath, board->PtyPath());
  EXPECT_EQ(state.familyMode, 0u);
  AwaitLoaderStage(*board);
  EXPECT_EQ(board->CurrentStage(), sim::Stage::kLoader);
  EXPECT_EQ(board->LastLoader().size(), 20000u);
  EXPECT_TRUE(board->ProtocolErrors().empty()) << board->ProtocolErrors().front();
  EXPECT_TRUE(observer.Has("version: 2024/06/15-V12"));
  EXPECT_EQ(observer.events.front(), "connect:off");
  EXPECT_EQ(observer.events.back(), "connect:on");
  EXPECT_TRUE(observer.Has("selector:on"));
  EXPECT_FALSE(observer.Has("help"));
  EXPECT_EQ(observer.progress.Colours(), (std::vector<uint32_t>{Rgb(0xF5, 0x5C, 0x3D)}));
  // The selector then offers the COM-port media.
  EXPECT_EQ(RebuildSelector(state.connection, state.familyMode, 0).entries.size(), 7u);
}

struct ProgressCase {
  const char* name;
  uint32_t fileLength;
  std::vector<int> percents;
};

class LoaderProgress : public ConnectFixture, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(LoaderProgress, PostsMultiplesOfFiveAndEndsWithTheDoneMessage) {
  const ProgressCase& c = GetParam();
  auto board = MakeBoard(BoardKind::kVcom);
  WriteFile("xusb.bin", sim::MakeSerialLoader(c.fileLength - 16));

  ASSERT_EQ(Run(board->Bus()), ConnectOutcome::kComPort);
  std::vector<RecordingProgress::Event> expected;
  for (int p : c.percents) expected.push_back({kLoaderPercentMessage, p});
  expected.push_back({kLoaderDoneMessage, 0});
  EXPECT_EQ(observer.progress.Events(), expected);
  AwaitLoaderStage(*board);
  // The board got the announced count: the file after its header, then 16 zeros.
  EXPECT_EQ(board->LastLoader().size(), c.fileLength - 16);
  EXPECT_TRUE(board->ProtocolErrors().empty()) << board->ProtocolErrors().front();
}

INSTANTIATE_TEST_SUITE_P(
    FileLengths, LoaderProgress,
    ::testing::Values(
        // A multiple of 4096: no remainder chunk, the last percentage after the last full chunk.
        ProgressCase{"TwoFullChunks", 8192, {50, 100}},
        ProgressCase{"FiveFullChunks", 20480, {20, 40, 60, 80, 100}},
        ProgressCase{"RemainderOnly", 100, {100}},
        // 33, 66 and 99 are no multiples of 5; only the capped 100 is posted.
        ProgressCase{"FullChunksAndRemainder", 12388, {100}}),
    [](const ::testing::TestParamInfo<ProgressCase>& info) { return std::string(info.param.name); });

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

// A board whose loader did not arrive is no connection: only "SDRAM" stays.
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
  EXPECT_EQ(RebuildSelector(state.connection, state.familyMode, 2).entries,
            (std::vector<SelectorEntry>{{"SDRAM", kPageSdram}}));
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
    [](const ::testing::TestParamInfo<FailedLoaderCase>& info) { return std::string(info.param.name); });

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
  for (const auto& s : bus.sent) letters += s.cdb[0] == 0x06 ? static_cast<char>(s.cdb[1]) : '?';
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
    [](const ::testing::TestParamInfo<FamilyCase>& info) { return std::string(info.param.name); });

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
  uint8_t byte2;
  uint8_t byte3;
};

class FirstStageLength : public ConnectFixture, public ::testing::WithParamInterface<StageLengthCase> {};

TEST_P(FirstStageLength, CarriesTheLowBitsOrIsRefusedBeforeAnythingIsSent) {
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
  const auto r = std::find_if(bus.sent.begin(), bus.sent.end(),
                              [](const SentCommand& s) { return s.cdb[0] == 0x06 && s.cdb[1] == 'r'; });
  ASSERT_NE(r, bus.sent.end());
  EXPECT_EQ(r->cdb[2], c.byte2);
  EXPECT_EQ(r->cdb[3], c.byte3);
  EXPECT_EQ(r->dataLength, c.headerLength);
  // What the file lacks of the announced stage arrives as zeros.
  std::vector<uint8_t> expected(file.begin() + 16, file.end());
  expected.resize(c.headerLength, 0);
  EXPECT_EQ(board->LastLoader(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, FirstStageLength,
    ::testing::Values(StageLengthCase{"Exactly64K", 65536, 65536, true, 0x00, 0x00},
                      StageLengthCase{"OneByteUnder64K", 65535, 65535, true, 0xFF, 0xFF},
                      StageLengthCase{"FileShorterThanAnnounced", 0x1234, 0x1000, true, 0x34, 0x12},
                      StageLengthCase{"OneByteOver64K", 65537, 65537, false, 0, 0},
                      StageLengthCase{"Zero", 0, 4096, false, 0, 0}),
    [](const ::testing::TestParamInfo<StageLengthCase>& info) { return std::string(info.param.name); });

// A port the bus lists but that cannot be opened.
class UnopenablePortBus final : public DeviceBus {
 public:
  bool EnumerateMcuPorts(std::vector<McuPort>& ports) override {
    ports = {{0, "/nonexistent/ttyACM9", "Velmora ARM 926-Based MCU Ports"}};
    return true;
  }
  std::vector<std::string> FindVolumesForDevice(const std::string&) override { return {}; }
  std::unique_ptr<ScsiTransport> OpenVolume(const std::string&, uint32_t*) override { return nullptr; }
  void MarkDeviceInRegistry(const std::string&, const std::string&, UserPrompt&) override {}
};

TEST_F(ConnectFixture, PortThatDoesNotOpenIsNoConnection) {
  WriteFile("xusb.bin", sim::MakeSerialLoader(5000));
  UnopenablePortBus bus;
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
                         [](const ::testing::TestParamInfo<QueryCase>& info) {
                           return std::string(info.param.name);
                         });

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
}  // namespace zorbel
