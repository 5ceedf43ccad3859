// Image tables read from the virtual board over its COM port.
#include <gtest/gtest.h>

#include "protocol/page_rules.h"
#include "protocol/protocol_fixture.h"
#include "protocol/table_read.h"

namespace zorbel {
namespace {

using testing::PutImage;
using testing::VcomRig;

TEST(VcomTableRead, NandLogoReadsAsUnknownAndNorBringsItsDeviceText) {
  VcomRig rig;
  ASSERT_TRUE(PutImage(rig.board, sim::Medium::kNand, 6, "logo", 4, 0x50));
  std::vector<TableEntry> rows;
  ASSERT_EQ(ReadImageTableVcom(rig.port, rig.ctx.portName, Medium::kNand, &rig.prompt, rows, nullptr, 2000),
            TableRead::kRead);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_STREQ(ImageTypeWord(rows[0].type, true), "unknown");
  EXPECT_FALSE(rig.port.IsOpen());

  std::string device;
  ASSERT_EQ(ReadImageTableVcom(rig.port, rig.ctx.portName, Medium::kNor, &rig.prompt, rows, &device, 2000),
            TableRead::kRead);
  EXPECT_EQ(device, "VNOR-29LV320");
  EXPECT_TRUE(rows.empty());
  EXPECT_TRUE(rig.prompt.Messages().empty());
}

TEST(VcomTableRead, FailuresSayWhatWentWrong) {
  VcomRig rig;
  std::vector<TableEntry> rows{TableEntry{}};
  EXPECT_EQ(ReadImageTableVcom(rig.port, "/dev/zorbel-no-such-port", Medium::kSpi, &rig.prompt, rows),
            TableRead::kEmptied);
  EXPECT_TRUE(rows.empty());
  rig.board.InjectFault({sim::FaultKind::kHugeTableCount, sim::Operation::kReadTable, sim::Medium::kNand});
  EXPECT_EQ(ReadImageTableVcom(rig.port, rig.ctx.portName, Medium::kNand, &rig.prompt, rows, nullptr, 2000),
            TableRead::kEmptied);
  EXPECT_EQ(rig.prompt.Messages(), (std::vector<std::string>{"Failed to open /dev/zorbel-no-such-port",
                                                             table_text::kReadTableError}));
  EXPECT_FALSE(rig.port.IsOpen());
}

}  // namespace
}  // namespace zorbel
