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
  // Offsets of the data pointer, the sense offset field, the command block,
  // the sense area; the structure's length (where the filler starts) and the total.
  const PassThroughLayout widths[] = {{4, 20, 24, 28, 44, 44, 48, 80}, {8, 24, 32, 36, 56, 56, 60, 96}};
  const uint64_t address = 0x1122334455667788ull;
  for (const PassThroughLayout& l : widths) {
    const size_t pointer = l.pointerBytes;
    const PassThroughLayout got = PassThroughLayoutFor(pointer);
    EXPECT_EQ(std::vector<size_t>({got.dataBuffer, got.senseInfoOffset, got.cdb, got.structLength, got.filler,
                                   got.sense, got.total}),
              std::vector<size_t>(
                  {l.dataBuffer, l.senseInfoOffset, l.cdb, l.structLength, l.filler, l.sense, l.total}));
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (pointer == 4 ? " 32-bit" : " 64-bit"));
      const std::vector<uint8_t> b = BuildPassThroughRequest(c.command, address, pointer);
      ASSERT_EQ(b.size(), l.total);
      EXPECT_EQ(LoadLe16(b.data()), l.structLength);
      // ScsiStatus, PathId, TargetId, Lun, CdbLength, SenseInfoLength, DataIn
      EXPECT_EQ(std::vector<uint8_t>(b.begin() + 2, b.begin() + 9),
                std::vector<uint8_t>({0, 0, 1, 0, 10, c.sentSense, c.dataIn}));
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
