// The SG_IO request as built for the kernel (no device needed to read it).
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "app/test_table.h"
#include "link/scsi_sg_linux.h"
#include "link/scsi_transport.h"
#include "link/serial_port.h"

namespace zorbel {
namespace {

TEST(SgIoRequest, CarriesTheCommandBlockDirectionSenseAndTimeout) {
  const std::map<std::string, std::pair<ScsiDirection, int>> directions = {
      {"to", {ScsiDirection::kToDevice, SG_DXFER_TO_DEV}},
      {"from", {ScsiDirection::kFromDevice, SG_DXFER_FROM_DEV}},
      {"none", {ScsiDirection::kNone, SG_DXFER_NONE}}};
  uint8_t buffer[16];
  for (const auto& row : testing::LoadTable("link/sg_request.tsv")) {
    SCOPED_TRACE(row[0] + " " + row[1]);
    ScsiCommand command;
    command.cdb = {'a', 1, 2, 3, 4, 5, 6, 7, 8, 9};
    command.direction = directions.at(row[0]).first;
    command.dataLength = std::stoul(row[1]);
    command.data = command.dataLength == 0 ? nullptr : buffer;
    command.senseLength = static_cast<uint8_t>(std::stoul(row[2]));
    command.timeoutSeconds = std::stoul(row[3]);
    uint8_t sense[kSgSenseLength];
    const sg_io_hdr_t r = BuildSgIoRequest(command, sense);
    EXPECT_EQ(r.interface_id, 'S');
    EXPECT_EQ(r.cmd_len, 10);
    EXPECT_EQ(std::memcmp(r.cmdp, command.cdb.data(), 10), 0);
    EXPECT_EQ(r.dxfer_direction, directions.at(row[4]).second);
    EXPECT_EQ(r.dxfer_len, std::stoul(row[5]));
    EXPECT_EQ(r.dxferp, r.dxfer_len == 0 ? nullptr : buffer);
    EXPECT_EQ(r.mx_sb_len, std::stoul(row[6]));
    EXPECT_EQ(r.sbp, r.mx_sb_len == 0 ? nullptr : sense);
    EXPECT_EQ(r.timeout, command.timeoutSeconds * 1000);
  }
}

TEST(SgIoRequest, OnlyUndeliveredCommandsFail) {
  const std::map<std::string, uint32_t> errors = {{"0", 0},
                                                  {"timeout", win_error::kTimeout},
                                                  {"not connected", win_error::kDeviceNotConnected},
                                                  {"failure", win_error::kGenFailure}};
  for (const auto& row : testing::LoadTable("link/sg_status.tsv")) {
    sg_io_hdr_t done{};
    done.host_status = static_cast<unsigned short>(std::stoul(row[0], nullptr, 16));
    done.driver_status = static_cast<unsigned short>(std::stoul(row[1], nullptr, 16));
    done.status = static_cast<unsigned char>(std::stoul(row[2], nullptr, 16));
    EXPECT_EQ(SgTransportError(done), errors.at(row[3])) << row[0] << "/" << row[1];
  }
}

}  // namespace
}  // namespace zorbel
