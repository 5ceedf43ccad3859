// The SDRAM settings route over the virtual board's COM port.
#include <gtest/gtest.h>

#include "protocol/protocol_fixture.h"
#include "settings/delivery.h"
#include "settings/delivery_test_support.h"

namespace zorbel {
namespace {

using settings_test::Form;
using settings_test::MakeFiles;
using testing::ReadFileBytes;

TEST(SettingsDelivery, SdramRouteOverTheComPortSendsTheBuiltImage) {
  testing::VcomRig rig;
  const SettingsFiles files = MakeFiles(rig.dir);
  ASSERT_EQ(PrepareSettingsDelivery(Form(), SettingsRoute::kSdram, files, true), "");
  rig.state.connection.massStorageConnected = 0;
  ASSERT_EQ(DeliverSettings(rig.ctx, SettingsRoute::kSdram, files, 0), 1);
  EXPECT_EQ(rig.prompt.Messages().back(), delivery_text::kDownloadOk);
  const auto image = ReadFileBytes(files.imagePath);
  EXPECT_EQ(rig.board.Sdram(0x8000, static_cast<uint32_t>(image.size())), image);
}

}  // namespace
}  // namespace zorbel
