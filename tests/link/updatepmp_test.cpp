// The mass-storage command library's command blocks, as they reach a
// transport, and the pass-through request block they go out in on Windows.
// The recorder stands for the wire only: it keeps each command (and a copy of
// its outgoing data) and answers with a fixed result.
#include "link/updatepmp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/system_error.h"
#include "app/test_table.h"
#include "link/scsi_pass_through.h"
#include "link/serial_port.h"

namespace zorbel {
namespace {

// The console line for a failure at a source line; the message text is the
// system's own, so it is taken from the platform rather than spelled here.
std::string ErrorLine(int line, uint32_t code) {
  return "\nJ:\\Release\\Lib\\updatepmp " + std::to_string(line) + " " + ReportSystemError(code);
}

namespace msl = MassStorageLink;

class RecordingTransport final : public ScsiTransport {
 public:
  struct Seen {
    ScsiCommand command;
    std::vector<uint8_t> sent;
  };
  bool Execute(const ScsiCommand& command) override {
    const auto* bytes = static_cast<const uint8_t*>(command.data);
    const bool out = command.direction == ScsiDirection::kToDevice && bytes != nullptr;
    seen.push_back(
        {command, out ? std::vector<uint8_t>(bytes, bytes + command.dataLength) : std::vector<uint8_t>{}});
    return error == 0;
  }
  uint32_t LastError() const override { return error; }

  uint32_t error = 0;  // the failure every command ends with; 0: success
  std::vector<Seen> seen;
};

std::vector<uint8_t> gBoot(msl::kBootDataLength);
std::vector<uint8_t> gData(70000, 0x11);
uint8_t* const kBoot = gBoot.data();
uint8_t* const kData = gData.data();

uint8_t U8(uint32_t value) { return static_cast<uint8_t>(value); }

using Arguments = std::vector<uint32_t>;
const std::map<std::string, std::function<bool(ScsiTransport*, const Arguments&)>> kCommands = {
    {"QueryBootStage", [](auto h, auto& a) { return msl::QueryBootStage(h, U8(a[0]), kBoot); }},
    {"SendSettingFirstWord", [](auto h, auto& a) { return msl::SendSettingFirstWord(h, a[0], kBoot); }},
    {"SendSettingSecondWord", [](auto h, auto& a) { return msl::SendSettingSecondWord(h, a[0], kBoot); }},
    {"SetLoadAddress", [](auto h, auto& a) { return msl::SetLoadAddress(h, a[0], kBoot); }},
    {"WriteFirstStage", [](auto h, auto& a) { return msl::WriteFirstStage(h, kData, a[0]); }},
    {"RunLoadedCode", [](auto h, auto& a) { return msl::RunLoadedCode(h, a[0], kBoot); }},
    {"CMD_WriterProcess",
     [](auto h, auto& a) { return msl::CMD_WriterProcess(h, U8(a[0]), U8(a[1]), kData, a[2]); }},
    {"CMD_ReadTable",
     [](auto h, auto& a) { return msl::CMD_ReadTable(h, U8(a[0]), U8(a[1]), U8(a[2]), kData, a[3]); }},
    {"CMD_WriteFile", [](auto h, auto& a) { return msl::CMD_WriteFile(h, U8(a[0]), kData, a[1], nullptr); }},
    {"CMD_GetFileData", [](auto h, auto& a) { return msl::CMD_GetFileData(h, U8(a[0]), kData, a[1]); }},
    {"CMD_GetLastStatus", [](auto h, auto& a) { return msl::CMD_GetLastStatus(h, U8(a[0]), kData); }},
    {"CMD_SetParameter",
     [](auto h, auto& a) { return msl::CMD_SetParameter(h, U8(a[0]), kData, a[1], nullptr); }},
};

// A failed request still writes the console line; with no handle nothing is
// sent and the command fails like an invalid handle.
TEST(MassStorageCommands, BlocksDirectionsLengthsTimeoutsAndFailures) {
  const std::map<std::string, ScsiDirection> directions = {
      {"to", ScsiDirection::kToDevice}, {"from", ScsiDirection::kFromDevice}, {"none", ScsiDirection::kNone}};
  for (const auto& row : testing::LoadTable("link/mass_storage_commands.tsv")) {
    SCOPED_TRACE(row[0] + " " + row[1]);
    Arguments arguments;
    std::istringstream in(row[1]);
    for (std::string a; in >> a;) arguments.push_back(static_cast<uint32_t>(std::stoul(a, nullptr, 0)));
    const auto call = [&](ScsiTransport* h) { return kCommands.at(row[0])(h, arguments); };
    const int line = std::stoi(row[7]);
    const auto console = [&](uint32_t code) { return line == 0 ? "" : ErrorLine(line, code); };
    RecordingTransport t;
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(call(&t));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), console(0));
    ASSERT_EQ(t.seen.size(), 1u);
    const ScsiCommand& cmd = t.seen[0].command;
    std::string cdb = row[5];
    cdb.resize(cmd.cdb.size(), 0);
    EXPECT_EQ(std::string(cmd.cdb.begin(), cmd.cdb.end()), cdb);
    EXPECT_EQ(cmd.cdbLength, 10);
    EXPECT_EQ(cmd.direction, directions.at(row[2]));
    EXPECT_EQ(cmd.dataLength, std::stoul(row[3]));
    EXPECT_EQ(cmd.timeoutSeconds, std::stoul(row[4]));
    EXPECT_EQ(cmd.senseLength, std::stoul(row[6]));
    EXPECT_EQ(cmd.data == nullptr, cmd.dataLength == 0);

    t.error = win_error::kTimeout;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(call(&t), row[8] == "1");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), console(win_error::kTimeout));
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(call(nullptr), row[8] == "1");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), console(win_error::kInvalidHandle));
    EXPECT_EQ(t.seen.size(), 2u);
  }
}

// A one-byte transfer sends two bytes and reports one; longer ones go out as
// they are; a failure reports 0 transferred. Only one byte is the caller's:
// the second must not be read from memory.
TEST(MassStorageCommands, OneByteTransfersSendTwoBytesAndReportOne) {
  using Call = bool (*)(ScsiTransport*, const void*, uint32_t, uint32_t*);
  const std::pair<Call, int> calls[] = {
      {[](auto h, auto d, auto n, auto x) { return msl::CMD_WriteFile(h, 0, d, n, x); }, 409},
      {[](auto h, auto d, auto n, auto x) { return msl::CMD_SetParameter(h, 5, d, n, x); }, 594}};
  const uint8_t three[3] = {7, 8, 9};
  for (const auto& [call, line] : calls) {
    SCOPED_TRACE(line);
    for (const uint32_t error : {0u, 31u}) {
      RecordingTransport t;
      t.error = error;
      const auto one = std::make_unique<uint8_t>(2);
      const uint32_t length = error == 0 ? 1 : 3;
      uint32_t transferred = 99;
      ::testing::internal::CaptureStdout();
      EXPECT_EQ(call(&t, length == 1 ? one.get() : three, length, &transferred), error == 0);
      EXPECT_EQ(::testing::internal::GetCapturedStdout(), ErrorLine(line, error));
      EXPECT_EQ(transferred, error == 0 ? 1u : 0u);
      ASSERT_EQ(t.seen.size(), 1u);
      EXPECT_EQ(t.seen[0].sent, (length == 1 ? std::vector<uint8_t>{2, 0} : std::vector<uint8_t>{7, 8, 9}));
    }
  }
}

TEST(MassStorageCommands, OpenVolumeFailureWritesTheLineAndNoDevice) {
  ::testing::internal::CaptureStdout();
  // No folder part, so every platform reports the file itself missing.
  EXPECT_EQ(msl::OpenVolume("zorbel-no-such-volume"), nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            ErrorLine(78, win_error::kFileNotFound) + "No device !\n");
}

// The pass-through request block, byte for byte, for the 32-bit layout (the
// 80-byte block) and the 64-bit one. The per-command values are the block
// builders' own (checked with the commands); here each field must land at its
// offset for both widths.
TEST(PassThroughRequest, FieldsAtTheirOffsets) {
  uint8_t buffer[64] = {};
  ScsiCommand bigSense = msl::ReadTableBlock(1, 2, 0, buffer, 512);
  bigSense.senseLength = 200;
  const std::map<std::string, ScsiCommand> cases = {
      {"to device", msl::WriterProcessBlock(1, 3, buffer, 60)},
      {"from device, no sense", msl::RunBlock(0, buffer)},
      {"no data phase", msl::RunBlock(1, buffer)},
      {"boot stage", msl::BootStageBlock('U', 0x30008000, buffer)},
      {"sense beyond the area", bigSense}};
  for (const auto& row : testing::LoadTable("link/pass_through.tsv")) {
    SCOPED_TRACE(row[0] + " " + row[1]);
    const size_t pointer = std::stoul(row[1]) / 8;
    std::vector<uint8_t> expected(row[3].begin(), row[3].end());
    expected.resize(std::stoul(row[2]), 0);
    EXPECT_EQ(BuildPassThroughRequest(cases.at(row[0]), 0x1122334455667788ull, pointer), expected);
  }
}

}  // namespace
}  // namespace zorbel
