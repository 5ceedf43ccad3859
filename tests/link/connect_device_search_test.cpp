// The searches over a DeviceBus: product and vendor IDs, the volume table and
// its handles, over a bus that only lists and opens made-up volumes; and the
// medium selector's entries and page for the connection found.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/selector.h"
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
  sim::VirtualBoard board({});
  RecordingPrompt prompt;
  MarkDeviceInRegistry(board.Bus(), "B191", prompt);
  MarkDeviceInRegistry(board.Bus(), "100E", prompt);
  EXPECT_EQ(board.RegistryMarks(), (std::vector<std::string>{"7C3A:B191", "0813:100E"}));
}

TEST(SelectorRebuild, ListsEntriesWithTheirPagesAndPicksThePage) {
  for (const auto& row : testing::LoadTable("link/selector.tsv")) {
    SCOPED_TRACE(row[0] + row[1] + row[2] + " from " + row[3]);
    ConnectionState connection;
    connection.vcomConnected = static_cast<uint8_t>(std::stoi(row[0]));
    connection.massStorageConnected = static_cast<uint8_t>(std::stoi(row[1]));
    const SelectorLayout layout = RebuildSelector(connection, std::stoul(row[2]), std::stoi(row[3]));
    std::vector<std::string> entries;
    for (const auto& e : layout.entries) entries.push_back(e.text + "=" + std::to_string(e.page));
    const std::vector<std::string> expected = connect_test::Split(row[4], '|');
    EXPECT_EQ(entries, expected);
    EXPECT_EQ(layout.selection, std::stoi(row[5]));
    EXPECT_EQ(layout.showPage, row[6] == "1");
    EXPECT_EQ(layout.page, std::stoi(row[7]));
    const std::string& chosen = expected.at(std::stoul(row[5]));
    EXPECT_EQ(layout.FrameCaption(), chosen.substr(0, chosen.rfind('=')));
  }
}

}  // namespace
}  // namespace zorbel
