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

std::vector<uint8_t> Cdb(const ScsiCommand& c) { return {c.cdb.begin(), c.cdb.begin() + 10}; }

struct CommandCase {
  const char* name;
  std::function<bool(ScsiTransport*)> call;
  std::vector<uint8_t> cdb;  // first 10 bytes; the rest must be 0
  ScsiDirection direction;
  uint32_t length;
  uint32_t timeoutSeconds;
  uint8_t senseLength;
};

std::vector<uint8_t> gBoot(msl::kBootDataLength);
std::vector<uint8_t> gData(70000, 0x11);

TEST(MassStorageCommands, BlocksDirectionsLengthsAndTimeouts) {
  using D = ScsiDirection;
  const CommandCase cases[] = {
      {"Q",
       [](ScsiTransport* h) { return msl::QueryBootStage(h, 1, gBoot.data()); },
       {0x06, 'Q', 1, 0, 0, 0, 0, 0, 0, 0},
       D::kFromDevice,
       3583,
       20,
       24},
      {"R",
       [](ScsiTransport* h) { return msl::SendSettingFirstWord(h, 0x12345678, gBoot.data()); },
       {0x06, 'R', 0x78, 0x56, 0x34, 0x12, 0, 0, 0, 0},
       D::kFromDevice,
       3583,
       20,
       24},
      {"S",
       [](ScsiTransport* h) { return msl::SendSettingSecondWord(h, 0xA0B0C0D0, gBoot.data()); },
       {0x06, 'S', 0xD0, 0xC0, 0xB0, 0xA0, 0, 0, 0, 0},
       D::kFromDevice,
       3583,
       20,
       24},
      {"U",
       [](ScsiTransport* h) { return msl::SetLoadAddress(h, 0x30008000, gBoot.data()); },
       {0x06, 'U', 0x00, 0x80, 0x00, 0x30, 0, 0, 0, 0},
       D::kFromDevice,
       3583,
       20,
       24},
      {"r 65536",
       [](ScsiTransport* h) { return msl::WriteFirstStage(h, gData.data(), 65536); },
       {0x06, 'r', 0x00, 0x00, 0, 0, 0, 0, 0, 0},
       D::kToDevice,
       65536,
       50,
       24},
      {"r 4660",
       [](ScsiTransport* h) { return msl::WriteFirstStage(h, gData.data(), 0x1234); },
       {0x06, 'r', 0x34, 0x12, 0, 0, 0, 0, 0, 0},
       D::kToDevice,
       0x1234,
       50,
       24},
      {"r 65537",
       [](ScsiTransport* h) { return msl::WriteFirstStage(h, gData.data(), 65537); },
       {0x06, 'r', 0x01, 0x00, 0, 0, 0, 0, 0, 0},
       D::kToDevice,
       65537,
       50,
       24},
      {"run family",
       [](ScsiTransport* h) { return msl::RunLoadedCode(h, 1, gBoot.data()); },
       {0x06, 0x60, 0, 0, 0, 0, 0, 0, 0, 0},
       D::kNone,
       0,
       5,
       0},
      {"run older",
       [](ScsiTransport* h) { return msl::RunLoadedCode(h, 0, gBoot.data()); },
       {0x06, 0x60, 0, 0, 0, 0, 0, 0, 0, 0},
       D::kFromDevice,
       8,
       5,
       0},
      {"a",
       [](ScsiTransport* h) { return msl::CMD_WriterProcess(h, 2, 7, gData.data(), 60); },
       {'a', 2, 0, 0, 0, 0, 7, 0, 0, 0},
       D::kToDevice,
       60,
       100,
       24},
      {"b",
       [](ScsiTransport* h) { return msl::CMD_ReadTable(h, 3, 3, 2, gData.data(), 4); },
       {'b', 3, 0, 0, 0, 0, 3, 2, 0, 0},
       D::kFromDevice,
       4,
       50,
       24},
      {"c",
       [](ScsiTransport* h) { return msl::CMD_WriteFile(h, 1, gData.data(), 65536, nullptr); },
       {'c', 1, 0, 0, 0, 0, 0, 0, 0, 0},
       D::kToDevice,
       65536,
       20,
       24},
      {"d",
       [](ScsiTransport* h) { return msl::CMD_GetFileData(h, 4, gData.data(), 512); },
       {'d', 4, 0, 0, 0, 0, 0, 0, 0, 0},
       D::kFromDevice,
       512,
       20,
       24},
      {"e 3",
       [](ScsiTransport* h) { return msl::CMD_GetLastStatus(h, 3, gData.data()); },
       {'e', 0, 0, 0, 0, 0, 3, 0, 0, 0},
       D::kFromDevice,
       4,
       20,
       24},
      {"e 6",
       [](ScsiTransport* h) { return msl::CMD_GetLastStatus(h, 6, gData.data()); },
       {'e', 0, 0, 0, 0, 0, 6, 0, 0, 0},
       D::kFromDevice,
       5,
       20,
       24},
      {"e 7",
       [](ScsiTransport* h) { return msl::CMD_GetLastStatus(h, 7, gData.data()); },
       {'e', 0, 0, 0, 0, 0, 7, 0, 0, 0},
       D::kFromDevice,
       4,
       20,
       24},
      {"f",
       [](ScsiTransport* h) { return msl::CMD_SetParameter(h, 1, gData.data(), 4, nullptr); },
       {'f', 0, 0, 0, 0, 0, 1, 0, 0, 0},
       D::kToDevice,
       4,
       100,
       24},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingTransport t;
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(c.call(&t));
    ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(t.seen().size(), 1u);
    const ScsiCommand& cmd = t.seen()[0].command;
    EXPECT_EQ(Cdb(cmd), c.cdb);
    for (size_t i = 10; i < cmd.cdb.size(); ++i) EXPECT_EQ(cmd.cdb[i], 0) << i;
    EXPECT_EQ(cmd.cdbLength, 10);
    EXPECT_EQ(cmd.direction, c.direction);
    EXPECT_EQ(cmd.dataLength, c.length);
    EXPECT_EQ(cmd.timeoutSeconds, c.timeoutSeconds);
    EXPECT_EQ(cmd.senseLength, c.senseLength);
    if (c.length != 0) {
      EXPECT_NE(cmd.data, nullptr);
    }
  }
}

TEST(MassStorageCommands, OneByteTransfersSendTwoBytesAndReportOne) {
  struct Case {
    const char* name;
    std::function<bool(ScsiTransport*, const void*, uint32_t, uint32_t*)> call;
    int line;
  };
  const Case cases[] = {
      {"CMD_WriteFile",
       [](ScsiTransport* h, const void* d, uint32_t n, uint32_t* x) {
         return msl::CMD_WriteFile(h, 0, d, n, x);
       },
       409},
      {"CMD_SetParameter",
       [](ScsiTransport* h, const void* d, uint32_t n, uint32_t* x) {
         return msl::CMD_SetParameter(h, 5, d, n, x);
       },
       594},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingTransport t;
    // Only one byte is the caller's: the second must not be read from memory.
    const auto one = std::make_unique<uint8_t>(2);
    uint32_t transferred = 99;
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(c.call(&t, one.get(), 1, &transferred));
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(transferred, 1u);
    ASSERT_EQ(t.seen().size(), 1u);
    EXPECT_EQ(t.seen()[0].command.dataLength, 2u);
    EXPECT_EQ(t.seen()[0].sent, (std::vector<uint8_t>{2, 0}));
    EXPECT_EQ(out, ErrorLine(c.line, 0));

    // Longer transfers go out as they are; a failure reports 0 transferred.
    RecordingTransport failing;
    failing.FailWith(31);
    const uint8_t three[3] = {7, 8, 9};
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(c.call(&failing, three, 3, &transferred));
    const std::string failed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(transferred, 0u);
    EXPECT_EQ(failing.seen()[0].sent, (std::vector<uint8_t>{7, 8, 9}));
    EXPECT_EQ(failed, ErrorLine(c.line, 31));
  }
}

TEST(MassStorageCommands, FailuresAndTheConsoleLines) {
  struct Case {
    const char* name;
    std::function<bool(ScsiTransport*)> call;
    bool reports;  // writes the error line after every request
    bool alwaysTrue;
  };
  const Case cases[] = {
      {"Q", [](ScsiTransport* h) { return msl::QueryBootStage(h, 1, gBoot.data()); }, false, false},
      {"r", [](ScsiTransport* h) { return msl::WriteFirstStage(h, gData.data(), 16); }, false, false},
      {"run", [](ScsiTransport* h) { return msl::RunLoadedCode(h, 0, gBoot.data()); }, false, true},
      {"a", [](ScsiTransport* h) { return msl::CMD_WriterProcess(h, 0, 1, gData.data(), 16); }, true, false},
      {"b", [](ScsiTransport* h) { return msl::CMD_ReadTable(h, 0, 1, 0, gData.data(), 16); }, false, false},
      {"d", [](ScsiTransport* h) { return msl::CMD_GetFileData(h, 0, gData.data(), 16); }, false, false},
      {"e", [](ScsiTransport* h) { return msl::CMD_GetLastStatus(h, 3, gData.data()); }, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingTransport t;
    t.FailWith(win_error::kTimeout);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(c.call(&t), c.alwaysTrue);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(t.seen().size(), 1u);
    if (c.reports) {
      EXPECT_EQ(out, ErrorLine(356, win_error::kTimeout));
    } else {
      EXPECT_EQ(out, "");
    }
    // No handle: nothing is sent and the command fails like an invalid handle.
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(c.call(nullptr), c.alwaysTrue);
    const std::string none = ::testing::internal::GetCapturedStdout();
    if (c.reports) {
      EXPECT_NE(none.find(ReportSystemError(win_error::kInvalidHandle)), std::string::npos);
    }
  }
}

TEST(MassStorageCommands, OpenVolumeFailureWritesTheLineAndNoDevice) {
  ::testing::internal::CaptureStdout();
  // No folder part, so every platform reports the file itself missing.
  EXPECT_EQ(msl::OpenVolume("zorbel-no-such-volume"), nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), ErrorLine(78, win_error::kFileNotFound) + "No device !\n");
}

}  // namespace
}  // namespace zorbel
