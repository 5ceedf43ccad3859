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
using testing::WriteFileBytes;

TEST(SettingsDelivery, PreparationPerRouteAndWire) {
  struct Case {
    SettingsRoute route;
    bool overVcom;
    std::string expected;
    bool imageWritten;
  } cases[] = {
      {SettingsRoute::kSdram, false, "", true},
      {SettingsRoute::kSdram, true, "", true},
      {SettingsRoute::kSpi, false, "", false},
      // The fixed start 0x6f is no 64 KB boundary: over the COM port the route always stops here.
      {SettingsRoute::kSpi, true, page_text::kSpiStartNotAligned, false},
  };
  for (const auto& c : cases) {
    testing::ScratchDir dir;
    const SettingsFiles files = MakeFiles(dir);
    EXPECT_EQ(PrepareSettingsDelivery(Form(), c.route, files, c.overVcom), c.expected);
    EXPECT_TRUE(std::filesystem::exists(files.textPath));
    EXPECT_EQ(std::filesystem::exists(files.imagePath), c.imageWritten);
  }
}

TEST(SettingsDelivery, RefusedFormWritesNothing) {
  testing::ScratchDir dir;
  const SettingsFiles files = MakeFiles(dir);
  DeviceSettings form = Form();
  form.password.clear();
  EXPECT_EQ(PrepareSettingsDelivery(form, SettingsRoute::kSdram, files, false), kPasswordEmpty);
  EXPECT_FALSE(std::filesystem::exists(files.textPath));
  EXPECT_FALSE(std::filesystem::exists(files.imagePath));
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
