// The connection sequence over the board's disk, against the virtual board
// in virtual time: every status text in order, what the board received, and
// what the connection state says afterwards.
#include "link/connect_worker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/abort_event.h"
#include "app/byte_order.h"
#include "connect_support.h"
#include "link/loader_download.h"
#include "link/serial_port.h"

namespace zorbel::connect_test {
namespace {

class DiskConnect : public ConnectFixture, public ::testing::WithParamInterface<testing::TableRow> {};

TEST_P(DiskConnect, EndsAsTheTableSays) {
  const testing::TableRow& row = GetParam();
  const BoardKind kind = *sim::ParseKind(row[1]);
  const uint32_t first = std::stoul(row[4]);
  const uint32_t announced = row[6].empty() ? first : std::stoul(row[6]);
  // A stage padded with zeros no longer matches its own tag's length.
  auto board = MakeBoard(kind, row[2] == "1", announced == first);
  std::vector<uint8_t> file = sim::MakeDiskLoader(kind, first, std::stoul(row[5]));
  StoreLe32(file.data() + 8, announced);
  if (!row[3].empty()) WriteFile(row[3], file);
  if (!row[7].empty()) WriteFile("Zorbel.ini", row[7]);
  if (row[8] == "no-reenumeration") {
    board->InjectFault({sim::FaultKind::kNoReenumeration, sim::Operation::kAny, sim::Medium::kAny, 1, 0});
  }
  if (row[8].rfind("boot commands fail ", 0) == 0) {
    const auto times = static_cast<uint32_t>(std::stoul(row[8].substr(19)));
    board->InjectFault(
        {sim::FaultKind::kFailCommand, sim::Operation::kBootCommand, sim::Medium::kAny, 1, times});
  }
  RecordingBus bus(board->Bus());

  const bool connects = row[9] == "mass storage";
  EXPECT_EQ(Run(bus), connects ? ConnectOutcome::kMassStorage : ConnectOutcome::kFailed);
  EXPECT_EQ(observer.events, ExpectedEvents(row[10]));
  std::string messages = row[11];
  if (const size_t at = messages.find("%s"); at != std::string::npos)
    messages.replace(at, 2, state.moduleDirectory);
  EXPECT_EQ(prompt.Messages(), Split(messages, '|'));
  std::string letters;
  for (const auto& cdb : bus.sent) letters += cdb[0] == 0x06 ? static_cast<char>(cdb[1]) : '?';
  EXPECT_EQ(letters, row[12]);
  std::vector<sim::BoardRegisterWrite> registers;
  for (const auto& r : Split(row[13], '|'))
    registers.push_back({r[0], static_cast<uint32_t>(std::stoul(r.substr(2), nullptr, 16))});
  EXPECT_EQ(board->RegisterWrites(), registers);
  std::vector<uint8_t> loader;
  if (row[14] == "first") {
    loader.assign(file.begin() + 16, file.begin() + 16 + first);
    loader.resize(announced, 0);
  }
  if (row[14] == "second") loader.assign(file.begin() + 16 + first, file.end());
  EXPECT_EQ(board->LastLoader(), loader);
  EXPECT_EQ(board->LoadAddress(), std::stoul(row[15], nullptr, 16));
  if (!loader.empty()) {
    EXPECT_EQ(state.loaderLoadAddress, board->LoadAddress());
  }
  EXPECT_EQ(state.connection.productId, row[16]);
  EXPECT_EQ(state.chipFamily, std::stoul(row[17]));
  std::vector<std::string> marks;  // "vendor:product=times", in order
  for (const auto& m : Split(row[18], '|'))
    marks.insert(marks.end(), std::stoul(m.substr(m.find('=') + 1)), m.substr(0, m.find('=')));
  EXPECT_EQ(board->RegistryMarks(), marks);
  EXPECT_EQ(clock.NowMs(), std::stoull(row[19]));
  EXPECT_EQ(state.connection.massStorageConnected, connects ? 1 : 0);
  EXPECT_EQ(state.connection.vcomConnected, 0);
  EXPECT_EQ(state.connection.loaderLength, loader.empty() ? 0 : announced);
  EXPECT_EQ(state.familyMode, kind == BoardKind::kOlder ? 0u : 1u);
  if (connects && row[8].empty()) {
    EXPECT_NE(state.connection.deviceHandle(), nullptr);
    EXPECT_TRUE(board->ProtocolErrors().empty()) << board->ProtocolErrors().front();
  }
}

INSTANTIATE_TEST_SUITE_P(Disks, DiskConnect,
                         ::testing::ValuesIn(testing::LoadTable("link/disk_connects.tsv")), RowName);

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

TEST_F(ConnectFixture, NoDeviceHandleIsReported) {
  state.familyMode = 1;
  auto board = MakeBoard(BoardKind::kQuen);
  ConnectWorker worker(state, board->Bus(), clock, prompt, observer);
  EXPECT_FALSE(worker.DownloadMassStorageLoader());
  EXPECT_EQ(prompt.Messages(), (std::vector<std::string>{"No Device Handle"}));
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
