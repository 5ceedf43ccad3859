// The pass-through request against the platform's own structure, and the
// codes OpenScsiTransport and Execute give back for what is not a volume.
#include <windows.h>

#include <ntddscsi.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "link/scsi_pass_through.h"
#include "link/scsi_transport.h"
#include "win32/temp_folder.h"

namespace zorbel {
namespace {

TEST(PassThroughWin32, LayoutMatchesThePlatformStructure) {
  const PassThroughLayout l = PassThroughLayoutFor(sizeof(void*));
  EXPECT_EQ(l.structLength, sizeof(SCSI_PASS_THROUGH_DIRECT));
  EXPECT_EQ(l.dataBuffer, offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer));
  EXPECT_EQ(l.senseInfoOffset, offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset));
  EXPECT_EQ(l.cdb, offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb));
  EXPECT_EQ(kScsiPassThroughDirect, static_cast<uint32_t>(IOCTL_SCSI_PASS_THROUGH_DIRECT));
  EXPECT_EQ(kScsiDataOut, SCSI_IOCTL_DATA_OUT);
  EXPECT_EQ(kScsiDataIn, SCSI_IOCTL_DATA_IN);
}

TEST(PassThroughWin32, BlockReadsBackThroughThePlatformStructure) {
  uint8_t data[8] = {};
  ScsiCommand command;
  command.cdb = {0x65, 0, 0, 0, 0, 0, 6, 0, 0, 0};
  command.direction = ScsiDirection::kFromDevice;
  command.data = data;
  command.dataLength = 5;
  command.timeoutSeconds = 20;
  const auto block = BuildPassThroughRequest(command, reinterpret_cast<uintptr_t>(data), sizeof(void*));
  SCSI_PASS_THROUGH_DIRECT sptd;
  std::memcpy(&sptd, block.data(), sizeof sptd);
  EXPECT_EQ(sptd.Length, sizeof sptd);
  EXPECT_EQ(sptd.TargetId, 1);
  EXPECT_EQ(sptd.CdbLength, 10);
  EXPECT_EQ(sptd.SenseInfoLength, 24);
  EXPECT_EQ(sptd.DataIn, SCSI_IOCTL_DATA_IN);
  EXPECT_EQ(sptd.DataTransferLength, 5u);
  EXPECT_EQ(sptd.TimeOutValue, 20u);
  EXPECT_EQ(sptd.DataBuffer, data);
  EXPECT_EQ(sptd.SenseInfoOffset, sizeof sptd + 4);
  EXPECT_EQ(sptd.Cdb[6], 6);
  EXPECT_LE(sptd.SenseInfoOffset + 32, block.size());
}

TEST(ScsiTransportWin32, OpenFailuresGiveTheSystemCode) {
  test::TempFolder folder;
  struct Case {
    std::string path;
    uint32_t error;
  };
  const Case cases[] = {
      {folder.Path() + "\\no such file", ERROR_FILE_NOT_FOUND},
      {folder.Path() + "\\no such folder\\x", ERROR_PATH_NOT_FOUND},
      {"unix:/tmp/board.sock", ERROR_NOT_SUPPORTED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    uint32_t error = 0;
    EXPECT_EQ(OpenScsiTransport(c.path, &error), nullptr);
    EXPECT_EQ(error, c.error);
  }
}

TEST(ScsiTransportWin32, ExecuteOnWhatIsNoDiskFailsWithTheSystemCode) {
  test::TempFolder folder;
  const std::string path = folder.EmptyFile("plain.bin");
  uint32_t error = 1234;
  auto transport = OpenScsiTransport(path, &error);
  ASSERT_NE(transport, nullptr);
  EXPECT_EQ(error, 0u);
  uint8_t data[4] = {};
  ScsiCommand command;
  command.direction = ScsiDirection::kFromDevice;
  command.data = data;
  command.dataLength = sizeof data;
  EXPECT_FALSE(transport->Execute(command));
  EXPECT_NE(transport->LastError(), 0u);

  // A data phase without a buffer is refused before the driver sees it.
  command.data = nullptr;
  EXPECT_FALSE(transport->Execute(command));
  EXPECT_EQ(transport->LastError(), static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
}

}  // namespace
}  // namespace zorbel
