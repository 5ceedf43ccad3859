// The pass-through request block read back at its byte offsets, for the
// 32-bit layout (the 80-byte block) and the 64-bit one.
#include "link/scsi_pass_through.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/byte_order.h"
#include "link/updatepmp.h"

namespace zorbel {
namespace {

TEST(PassThroughLayout, FieldOffsetsPerPointerWidth) {
  struct Case {
    size_t pointer, dataBuffer, senseInfoOffset, cdb, length, filler, sense, total;
  };
  const Case cases[] = {
      {4, 20, 24, 28, 44, 44, 48, 80},
      {8, 24, 32, 36, 56, 56, 60, 96},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pointer);
    const PassThroughLayout l = PassThroughLayoutFor(c.pointer);
    EXPECT_EQ(l.dataBuffer, c.dataBuffer);
    EXPECT_EQ(l.senseInfoOffset, c.senseInfoOffset);
    EXPECT_EQ(l.cdb, c.cdb);
    EXPECT_EQ(l.structLength, c.length);
    EXPECT_EQ(l.filler, c.filler);
    EXPECT_EQ(l.sense, c.sense);
    EXPECT_EQ(l.total, c.total);
  }
}

// The per-command values are the block builders' own (checked with the
// commands); here each field must land at its offset for both widths.
TEST(PassThroughRequest, FieldsAtTheirOffsets) {
  namespace msl = MassStorageLink;
  uint8_t buffer[64] = {};
  struct Case {
    const char* name;
    ScsiCommand command;
    uint8_t dataIn;
    uint8_t sentSense;
  };
  ScsiCommand bigSense = msl::ReadTableBlock(1, 2, 0, buffer, 512);
  bigSense.senseLength = 200;
  const Case cases[] = {
      {"to device", msl::WriterProcessBlock(1, 3, buffer, 60), kScsiDataOut, 24},
      {"from device, no sense", msl::RunBlock(0, buffer), kScsiDataIn, 0},
      // The run command without a data phase still goes out marked as data in.
      {"no data phase", msl::RunBlock(1, buffer), kScsiDataIn, 0},
      {"boot stage", msl::BootStageBlock('U', 0x30008000, buffer), kScsiDataIn, 24},
      // More sense than the area holds would let the driver write past the block.
      {"sense beyond the area", bigSense, kScsiDataIn, 32},
  };
  const uint64_t address = 0x1122334455667788ull;
  for (size_t pointer : {size_t{4}, size_t{8}}) {
    const PassThroughLayout l = PassThroughLayoutFor(pointer);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (pointer == 4 ? " 32-bit" : " 64-bit"));
      const std::vector<uint8_t> b = BuildPassThroughRequest(c.command, address, pointer);
      ASSERT_EQ(b.size(), l.total);
      EXPECT_EQ(LoadLe16(b.data()), l.structLength);
      EXPECT_EQ(b[2], 0) << "ScsiStatus";
      EXPECT_EQ(b[3], 0) << "PathId";
      EXPECT_EQ(b[4], 1) << "TargetId";
      EXPECT_EQ(b[5], 0) << "Lun";
      EXPECT_EQ(b[6], 10) << "CdbLength";
      EXPECT_EQ(b[7], c.sentSense) << "SenseInfoLength";
      EXPECT_EQ(b[8], c.dataIn) << "DataIn";
      EXPECT_EQ(LoadLe32(b.data() + 12), c.command.dataLength) << "DataTransferLength";
      EXPECT_EQ(LoadLe32(b.data() + 16), c.command.timeoutSeconds) << "TimeOutValue";
      EXPECT_EQ(LoadLe32(b.data() + l.dataBuffer), 0x55667788u) << "DataBuffer, low word";
      if (pointer == 8) {
        EXPECT_EQ(LoadLe32(b.data() + l.dataBuffer + 4), 0x11223344u) << "DataBuffer, high word";
      }
      EXPECT_EQ(LoadLe32(b.data() + l.senseInfoOffset), l.sense) << "SenseInfoOffset";
      for (size_t i = 0; i < 16; ++i) EXPECT_EQ(b[l.cdb + i], c.command.cdb[i]) << "cdb byte " << i;
      for (size_t i = l.filler; i < l.total; ++i) EXPECT_EQ(b[i], 0) << "filler or sense byte " << i;
    }
  }
}

}  // namespace
}  // namespace zorbel
