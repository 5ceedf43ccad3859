// The SG_IO request as built for the kernel (no device needed to read it).
#include <gtest/gtest.h>

#include <cstring>

#include "link/scsi_sg_linux.h"
#include "link/scsi_transport.h"
#include "link/serial_port.h"

namespace zorbel {
namespace {

// --- SG_IO requests.

TEST(SgIoRequest, CarriesTheCommandBlockDirectionSenseAndTimeout) {
  uint8_t buffer[16];
  struct Case {
    ScsiDirection direction;
    void* data;
    uint32_t length;
    uint8_t senseLength;
    uint32_t timeoutSeconds;
    int sgDirection;
    unsigned sgLength;
    unsigned char sgSense;
  };
  const Case cases[] = {
      {ScsiDirection::kToDevice, buffer, 16, 24, 20, SG_DXFER_TO_DEV, 16, 24},
      {ScsiDirection::kFromDevice, buffer, 5, 24, 100, SG_DXFER_FROM_DEV, 5, 24},
      {ScsiDirection::kFromDevice, nullptr, 0, 0, 5, SG_DXFER_NONE, 0, 0},  // run, family loaders
      {ScsiDirection::kNone, buffer, 16, 24, 1, SG_DXFER_NONE, 0, 24},
      {ScsiDirection::kToDevice, buffer, 8, 64, 0, SG_DXFER_TO_DEV, 8, 24},  // sense capped
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.direction) * 1000 + c.length);
    ScsiCommand command;
    command.cdb = {'a', 1, 2, 3, 4, 5, 6, 7, 8, 9};
    command.direction = c.direction;
    command.data = c.data;
    command.dataLength = c.length;
    command.senseLength = c.senseLength;
    command.timeoutSeconds = c.timeoutSeconds;
    uint8_t sense[kSgSenseLength];
    const sg_io_hdr_t r = BuildSgIoRequest(command, sense);
    EXPECT_EQ(r.interface_id, 'S');
    EXPECT_EQ(r.cmd_len, 10);
    EXPECT_EQ(std::memcmp(r.cmdp, command.cdb.data(), 10), 0);
    EXPECT_EQ(r.dxfer_direction, c.sgDirection);
    EXPECT_EQ(r.dxfer_len, c.sgLength);
    EXPECT_EQ(r.dxferp, c.sgLength == 0 ? nullptr : c.data);
    EXPECT_EQ(r.mx_sb_len, c.sgSense);
    EXPECT_EQ(r.sbp, c.sgSense == 0 ? nullptr : sense);
    EXPECT_EQ(r.timeout, c.timeoutSeconds * 1000);
  }
}

TEST(SgIoRequest, OnlyUndeliveredCommandsFail) {
  struct Case {
    unsigned short hostStatus;
    unsigned short driverStatus;
    unsigned char scsiStatus;
    uint32_t error;
  };
  const Case cases[] = {
      {0, 0, 0, 0},
      {0, 0x08, 0x02, 0},  // check condition with sense: the command reached the board
      {0x03, 0, 0, win_error::kTimeout},
      {0, 0x06, 0, win_error::kTimeout},
      {0x01, 0, 0, win_error::kDeviceNotConnected},
      {0x07, 0, 0, win_error::kGenFailure},
  };
  for (const auto& c : cases) {
    sg_io_hdr_t done{};
    done.host_status = c.hostStatus;
    done.driver_status = c.driverStatus;
    done.status = c.scsiStatus;
    EXPECT_EQ(SgTransportError(done), c.error) << c.hostStatus << "/" << c.driverStatus;
  }
}

}  // namespace
}  // namespace zorbel
