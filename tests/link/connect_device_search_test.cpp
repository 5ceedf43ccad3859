// The searches over a DeviceBus: product and vendor IDs, the volume table and
// its handles, over a bus that only lists and opens made-up volumes.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/test_table.h"
#include "app/tool_state.h"
#include "app/user_prompt.h"
#include "connect_support.h"
#include "link/device_bus.h"
#include "link/device_search.h"

namespace zorbel {
namespace {

using connect_test::CountingTransport;
using connect_test::ListedBus;

// The first volume that opens becomes the device handle and the search stops
// there; a repeated search closes the handle it replaces; the table holds
// eight volumes at most.
TEST(DeviceSearch, FirstVolumeThatOpensBecomesTheDeviceHandle) {
  ListedBus bus;
  bus.volumes["USB\\VID_7C3A&PID_6E21"] = {"dead-a", "good-b", "good-c"};
  ConnectionState connection;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(DetectDiskByProductId(bus, connection, "6E21"));
  auto* handle = dynamic_cast<CountingTransport*>(connection.deviceHandle());
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(handle->Path(), "good-b");
  EXPECT_EQ(connection.volumes[0].path, "good-b");
  EXPECT_EQ(bus.live, 1);
  EXPECT_EQ(connection.productId, "6E21");
  EXPECT_EQ(connection.vendorId, "7C3A");
  EXPECT_EQ(connection.deviceId, "USB\\VID_7C3A&PID_6E21");
  EXPECT_FALSE(DetectDiskByProductId(bus, connection, "B192"));
  EXPECT_EQ(bus.live, 0);
  EXPECT_EQ(connection.deviceHandle(), nullptr);
  EXPECT_EQ(connection.volumes[0].path, "");

  for (int i = 0; i < 12; ++i) bus.volumes["USB\\VID_7C3A&PID_6E31"].push_back("dead-" + std::to_string(i));
  bus.volumes["USB\\VID_7C3A&PID_6E31"].push_back("good-last");
  EXPECT_TRUE(DetectDiskByProductId(bus, connection, "6E31"));
  EXPECT_EQ(connection.deviceHandle(), nullptr);
  EXPECT_EQ(connection.volumes[7].path, "dead-7");
  EXPECT_EQ(bus.live, 0);
}

TEST(DeviceSearch, PortSearchTakesTheFirstMatchingDescription) {
  for (const auto& row : testing::LoadTable("link/vcom_ports.tsv")) {
    SCOPED_TRACE(row.back());
    ListedBus bus;
    bus.enumerates = row[0] == "1";
    for (size_t i = 3; i < row.size(); ++i) {
      const auto port = connect_test::Split(row[i], '|');
      bus.ports.push_back({static_cast<uint32_t>(std::stoul(port[0])), port[1], port[2]});
    }
    FoundPort found;
    EXPECT_EQ(FindVcomPort(bus, found), !row[1].empty());
    EXPECT_EQ(found.path, row[1]);
    EXPECT_EQ(found.statusText, row[2]);
  }
}

TEST(DeviceSearch, RegistryMarkCarriesTheVendorId) {
  ListedBus bus;
  RecordingPrompt prompt;
  MarkDeviceInRegistry(bus, "B191", prompt);
  MarkDeviceInRegistry(bus, "100E", prompt);
  EXPECT_EQ(bus.marks, (std::vector<std::string>{"7C3A:B191", "0813:100E"}));
}

}  // namespace
}  // namespace zorbel
