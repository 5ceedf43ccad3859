// The Linux side of the link: the sysfs discovery against fake trees laid out
// like the kernel's (USB devices linked from bus/usb/devices, interfaces with
// their ttys, SCSI hosts with their block devices), and the SG_IO request as
// built for the kernel (no device needed to read it).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/test_table.h"
#include "app/test_temp_folder.h"
#include "app/user_prompt.h"
#include "link/device_bus_linux.h"
#include "link/scsi_sg_linux.h"
#include "link/scsi_transport.h"
#include "link/serial_port.h"

namespace zorbel {
namespace {

namespace fs = std::filesystem;

// One tree for every test (link/sysfs_tree.tsv): two boards of one product at
// 1-1 (sdb, sg1) and 1-2 (sdc, sg2); at 1-3 (sdd, no sg driver) the same product
// ID of another vendor, not the board; a board with ports at 1-4, and one behind
// a hub at 1-5.2.
class SysfsTree : public ::testing::Test {
 protected:
  SysfsTree() {
    for (const auto& row : testing::LoadTable("link/sysfs_tree.tsv")) {
      const fs::path path = root_ / row[1];
      fs::create_directories(row[0] == "dir" ? path : path.parent_path());
      if (row[0] == "file") std::ofstream(path) << row[2] << "\n";
      if (row[0] == "link") fs::create_directory_symlink(root_ / row[2], path);
    }
  }
  std::vector<std::string> Dev(std::vector<std::string> names) const {
    for (auto& n : names) n = dev_ + "/" + n;
    return names;
  }
  static std::vector<std::string> Paths(const std::vector<McuPort>& ports) {
    std::vector<std::string> out;
    for (const auto& p : ports) out.push_back(p.path);
    return out;
  }

  testing::TempFolder folder_;
  const fs::path root_ = folder_.File("sys");
  const std::string sys_ = root_.string();
  const std::string dev_ = (root_ / "dev").string();
};

TEST_F(SysfsTree, TwoBoardsOfOneProductGiveAllTheirVolumesInWalkOrder) {
  auto bus = MakeSysfsDeviceBus(sys_, dev_);
  EXPECT_EQ(bus->FindVolumesForDevice("USB\\VID_7C3A&PID_6E21"), Dev({"sg1", "sg2"}));
  EXPECT_EQ(bus->FindVolumesForDevice("usb\\vid_0813&pid_6E21"), Dev({"sdd"}));
  EXPECT_TRUE(bus->FindVolumesForDevice("USB\\VID_7C3A&PID_6E22").empty());
}

// A port of a device behind a hub is listed once.
TEST_F(SysfsTree, PortsNeedANumberedTtyAndTakeTheInterfaceString) {
  auto bus = MakeSysfsDeviceBus(sys_, dev_);
  std::vector<McuPort> ports;
  ASSERT_TRUE(bus->EnumerateMcuPorts(ports));
  ASSERT_EQ(Paths(ports), Dev({"ttyACM3", "ttyACM4", "ttyUSB0"}));
  EXPECT_EQ(ports[0].description, "VELMORA arm 926-based MCU ports");
  EXPECT_EQ(ports[1].description, "Board Product");
  EXPECT_EQ(ports[0].number, 0u);
}

TEST_F(SysfsTree, IdenticalBoardsOnTwoPortsAreTwoBoardsEachSeenAlone) {
  auto source = MakeSysfsBoardSource(sys_, dev_);
  EXPECT_EQ(source->Locations(), (std::vector<std::string>{"1-1", "1-2", "1-4", "1-5.2"}));
  EXPECT_EQ(source->BusAt("1-2")->FindVolumesForDevice("USB\\VID_7C3A&PID_6E21"), Dev({"sg2"}));
  std::vector<McuPort> ports;
  ASSERT_TRUE(source->BusAt("1-1")->EnumerateMcuPorts(ports));
  EXPECT_TRUE(ports.empty());
  ASSERT_TRUE(source->BusAt("1-5.2")->EnumerateMcuPorts(ports));
  EXPECT_EQ(Paths(ports), Dev({"ttyUSB0"}));
}

TEST(SysfsDeviceBus, MissingTreeFindsNothing) {
  auto bus = MakeSysfsDeviceBus("/nonexistent/zorbel-sys", "/dev");
  std::vector<McuPort> ports{McuPort{1, "x", "y"}};
  EXPECT_FALSE(bus->EnumerateMcuPorts(ports));
  EXPECT_TRUE(ports.empty());
  EXPECT_TRUE(bus->FindVolumesForDevice("USB\\VID_7C3A&PID_6E21").empty());
  RecordingPrompt prompt;
  bus->MarkDeviceInRegistry("7C3A", "B190", prompt);
  EXPECT_TRUE(prompt.Messages().empty());
}

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
