// The mass-storage command library's command blocks, as they reach a
// transport. The recorder stands for the wire only: it keeps each command
// (and a copy of its outgoing data) and answers with a fixed result.
#include "link/updatepmp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "app/system_error.h"
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
    Seen seen{command, {}};
    if (command.direction == ScsiDirection::kToDevice && command.data != nullptr) {
      const auto* bytes = static_cast<const uint8_t*>(command.data);
      seen.sent.assign(bytes, bytes + command.dataLength);
    }
    if (command.direction == ScsiDirection::kFromDevice && command.data != nullptr) {
      std::memset(command.data, 0xAB, command.dataLength);
    }
    seen_.push_back(seen);
    return succeed_;
  }
  uint32_t LastError() const override { return succeed_ ? 0 : error_; }

  void FailWith(uint32_t error) {
    succeed_ = false;
    error_ = error;
  }
  const std::vector<Seen>& seen() const { return seen_; }

 private:
  bool succeed_ = true;
  uint32_t error_ = 0;
  std::vector<Seen> seen_;
};

// What a command's block must carry, and the console line written after
// every request (0: none).
struct Shape {
  ScsiDirection direction;
  uint32_t length;
  uint32_t timeoutSeconds;
  std::vector<uint8_t> cdb;  // the leading bytes; the rest of the 16 must be 0
  uint8_t senseLength = 24;
  int line = 0;
};
Shape In(uint32_t length, uint32_t timeout, std::vector<uint8_t> cdb, uint8_t sense = 24) {
  return {ScsiDirection::kFromDevice, length, timeout, std::move(cdb), sense};
}
Shape Out(uint32_t length, uint32_t timeout, std::vector<uint8_t> cdb, int line = 0) {
  return {ScsiDirection::kToDevice, length, timeout, std::move(cdb), 24, line};
}

std::vector<uint8_t> gBoot(msl::kBootDataLength);
std::vector<uint8_t> gData(70000, 0x11);
uint8_t* const kBoot = gBoot.data();
uint8_t* const kData = gData.data();

struct CommandCase {
  std::function<bool(ScsiTransport*)> call;
  Shape shape;
  bool ignoresFailure = false;
};

const CommandCase kCommands[] = {
    {[](auto h) { return msl::QueryBootStage(h, 1, kBoot); }, In(3583, 20, {0x06, 'Q', 1})},
    {[](auto h) { return msl::SendSettingFirstWord(h, 0x12345678, kBoot); },
     In(3583, 20, {0x06, 'R', 0x78, 0x56, 0x34, 0x12})},
    {[](auto h) { return msl::SendSettingSecondWord(h, 0xA0B0C0D0, kBoot); },
     In(3583, 20, {0x06, 'S', 0xD0, 0xC0, 0xB0, 0xA0})},
    {[](auto h) { return msl::SetLoadAddress(h, 0x30008000, kBoot); },
     In(3583, 20, {0x06, 'U', 0x00, 0x80, 0x00, 0x30})},
    {[](auto h) { return msl::WriteFirstStage(h, kData, 65536); }, Out(65536, 50, {0x06, 'r', 0, 0})},
    {[](auto h) { return msl::WriteFirstStage(h, kData, 65535); }, Out(65535, 50, {0x06, 'r', 0xFF, 0xFF})},
    {[](auto h) { return msl::WriteFirstStage(h, kData, 0x1234); }, Out(0x1234, 50, {0x06, 'r', 0x34, 0x12})},
    {[](auto h) { return msl::WriteFirstStage(h, kData, 65537); }, Out(65537, 50, {0x06, 'r', 0x01, 0})},
    {[](auto h) { return msl::RunLoadedCode(h, 1, kBoot); },
     {ScsiDirection::kNone, 0, 5, {0x06, 0x60}, 0},
     true},
    {[](auto h) { return msl::RunLoadedCode(h, 0, kBoot); }, In(8, 5, {0x06, 0x60}, 0), true},
    {[](auto h) { return msl::CMD_WriterProcess(h, 2, 7, kData, 60); },
     Out(60, 100, {'a', 2, 0, 0, 0, 0, 7}, 356)},
    {[](auto h) { return msl::CMD_ReadTable(h, 3, 3, 2, kData, 4); }, In(4, 50, {'b', 3, 0, 0, 0, 0, 3, 2})},
    {[](auto h) { return msl::CMD_WriteFile(h, 1, kData, 65536, nullptr); }, Out(65536, 20, {'c', 1}, 409)},
    {[](auto h) { return msl::CMD_GetFileData(h, 4, kData, 512); }, In(512, 20, {'d', 4})},
    {[](auto h) { return msl::CMD_GetLastStatus(h, 3, kData); }, In(4, 20, {'e', 0, 0, 0, 0, 0, 3})},
    {[](auto h) { return msl::CMD_GetLastStatus(h, 6, kData); }, In(5, 20, {'e', 0, 0, 0, 0, 0, 6})},
    {[](auto h) { return msl::CMD_GetLastStatus(h, 7, kData); }, In(4, 20, {'e', 0, 0, 0, 0, 0, 7})},
    {[](auto h) { return msl::CMD_SetParameter(h, 1, kData, 4, nullptr); },
     Out(4, 100, {'f', 0, 0, 0, 0, 0, 1}, 594)},
};

std::string Console(const CommandCase& c, uint32_t code) {
  return c.shape.line == 0 ? "" : ErrorLine(c.shape.line, code);
}

// A failed request still writes the console line; with no handle nothing is
// sent and the command fails like an invalid handle.
TEST(MassStorageCommands, BlocksDirectionsLengthsTimeoutsAndFailures) {
  for (size_t i = 0; i < std::size(kCommands); ++i) {
    const CommandCase& c = kCommands[i];
    SCOPED_TRACE(i);
    RecordingTransport t;
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(c.call(&t));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), Console(c, 0));
    ASSERT_EQ(t.seen().size(), 1u);
    const ScsiCommand& cmd = t.seen()[0].command;
    std::vector<uint8_t> cdb = c.shape.cdb;
    cdb.resize(cmd.cdb.size(), 0);
    EXPECT_EQ(std::vector<uint8_t>(cmd.cdb.begin(), cmd.cdb.end()), cdb);
    EXPECT_EQ(cmd.cdbLength, 10);
    EXPECT_EQ(cmd.direction, c.shape.direction);
    EXPECT_EQ(cmd.dataLength, c.shape.length);
    EXPECT_EQ(cmd.timeoutSeconds, c.shape.timeoutSeconds);
    EXPECT_EQ(cmd.senseLength, c.shape.senseLength);
    EXPECT_EQ(cmd.data == nullptr, c.shape.length == 0);

    t.FailWith(win_error::kTimeout);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(c.call(&t), c.ignoresFailure);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), Console(c, win_error::kTimeout));
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(c.call(nullptr), c.ignoresFailure);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), Console(c, win_error::kInvalidHandle));
    EXPECT_EQ(t.seen().size(), 2u);
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
      if (error != 0) t.FailWith(error);
      const auto one = std::make_unique<uint8_t>(2);
      const uint32_t length = error == 0 ? 1 : 3;
      uint32_t transferred = 99;
      ::testing::internal::CaptureStdout();
      EXPECT_EQ(call(&t, length == 1 ? one.get() : three, length, &transferred), error == 0);
      EXPECT_EQ(::testing::internal::GetCapturedStdout(), ErrorLine(line, error));
      EXPECT_EQ(transferred, error == 0 ? 1u : 0u);
      ASSERT_EQ(t.seen().size(), 1u);
      EXPECT_EQ(t.seen()[0].sent, (length == 1 ? std::vector<uint8_t>{2, 0} : std::vector<uint8_t>{7, 8, 9}));
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

}  // namespace
}  // namespace zorbel
