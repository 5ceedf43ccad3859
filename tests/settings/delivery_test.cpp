// The settings routes: what is written before any transfer, and what
// reaches the virtual board over each wire.
#include "settings/delivery.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "protocol/page_rules.h"
#include "protocol/protocol_fixture.h"
#include "settings/delivery_test_support.h"

namespace zorbel {
namespace {

using settings_test::Form;
using settings_test::MakeFiles;
using testing::ReadFileBytes;
using testing::WriteBytes;

TEST(SettingsDelivery, PreparationPerRouteAndWire) {
  struct Case {
    DeviceSettings form;
    SettingsRoute route;
    bool overVcom;
    std::string expected;
    bool textWritten, imageWritten;
  } cases[] = {
      {Form(), SettingsRoute::kSdram, false, "", true, true},
      {Form(), SettingsRoute::kSdram, true, "", true, true},
      {Form(), SettingsRoute::kSpi, false, "", true, false},
      // The fixed start 0x6f is no 64 KB boundary: over the COM port the route always stops here.
      {Form(), SettingsRoute::kSpi, true, page_text::kSpiStartNotAligned, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    testing::TempFolder dir;
    const SettingsFiles files = MakeFiles(dir);
    EXPECT_EQ(PrepareSettingsDelivery(c.form, c.route, files, c.overVcom), c.expected);
    EXPECT_EQ(std::filesystem::exists(files.textPath), c.textWritten);
    EXPECT_EQ(std::filesystem::exists(files.imagePath), c.imageWritten);
  }
}

TEST(SettingsDelivery, SdramRouteOverTheDiskLoadsTheImage) {
  testing::DiskRig rig;
  const SettingsFiles files = MakeFiles(rig.dir);
  ASSERT_EQ(PrepareSettingsDelivery(Form(), SettingsRoute::kSdram, files, false), "");
  ASSERT_EQ(DeliverSettings(rig.ctx, SettingsRoute::kSdram, files, 0), 1);
  EXPECT_EQ(rig.prompt.Messages().back(), delivery_text::kWriteOk);
  const auto image = ReadFileBytes(files.imagePath);
  // The disk download always loads at 0x8000.
  EXPECT_EQ(rig.board.Sdram(0x8000, static_cast<uint32_t>(image.size())), image);
}

TEST(SettingsDelivery, FailedSdramDownloadWordsDependOnTheRunOption) {
  for (const uint32_t run : {0u, 1u}) {
    testing::DiskRig rig;
    const SettingsFiles files = MakeFiles(rig.dir);
    ASSERT_EQ(PrepareSettingsDelivery(Form(), SettingsRoute::kSdram, files, false), "");
    rig.state.connection.CloseVolumes();
    EXPECT_EQ(DeliverSettings(rig.ctx, SettingsRoute::kSdram, files, run), 0);
    EXPECT_EQ(rig.prompt.Messages().back(),
              run == 0 ? page_text::kSdramDownloadFailed : delivery_text::kWriteFailed);
  }
}

TEST(SettingsDelivery, SpiRouteBurnsTheTextAsImageTwo) {
  testing::DiskRig rig;
  const SettingsFiles files = MakeFiles(rig.dir);
  ASSERT_EQ(PrepareSettingsDelivery(Form(), SettingsRoute::kSpi, files, false), "");
  ASSERT_EQ(DeliverSettings(rig.ctx, SettingsRoute::kSpi, files, 0), 1);
  EXPECT_EQ(rig.prompt.Messages().back(), delivery_text::kWriteOk);
  const auto entry = rig.board.FindImage(sim::Medium::kSpi, 2);
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->name, kSettingsTextFile);
  EXPECT_EQ(entry->type, 0u);
  EXPECT_EQ(rig.board.ImageData(sim::Medium::kSpi, 2), ReadFileBytes(files.textPath));
}

}  // namespace
}  // namespace zorbel
