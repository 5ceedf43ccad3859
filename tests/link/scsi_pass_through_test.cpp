// The pass-through request block read back at its byte offsets, for the
// 32-bit layout (the 80-byte block) and the 64-bit one.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "link/scsi_pass_through.h"
#include "link/updatepmp.h"

namespace zorbel {
namespace {

uint32_t Le(const std::vector<uint8_t>& b, size_t at, size_t bytes) {
  uint64_t v = 0;
  for (size_t i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(b.at(at + i)) << (8 * i);
  return static_cast<uint32_t>(v);
}

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

// Every command of the mass-storage library, as its own block builder makes
// it, through the request block.
TEST(PassThroughRequest, EachCommandAtItsOffsets) {
  uint8_t buffer[65536 + 16] = {};
  struct Case {
    const char* name;
    ScsiCommand command;
    uint8_t dataIn;
    uint32_t length;
    uint32_t timeout;
    uint8_t senseLength;
  };
  namespace msl = MassStorageLink;
  const Case cases[] = {
      {"Q", msl::BootStageBlock('Q', 1, buffer), kScsiDataIn, 3583, 20, 24},
      {"R", msl::BootStageBlock('R', 0x12345678, buffer), kScsiDataIn, 3583, 20, 24},
      {"U", msl::BootStageBlock('U', 0x30008000, buffer), kScsiDataIn, 3583, 20, 24},
      {"r 65536", msl::WriteFirstStageBlock(buffer, 65536), kScsiDataOut, 65536, 50, 24},
      {"run family", msl::RunBlock(1, buffer), kScsiDataIn, 0, 5, 0},
      {"run older", msl::RunBlock(0, buffer), kScsiDataIn, 8, 5, 0},
      {"WriterProcess", msl::WriterProcessBlock(1, 3, buffer, 60), kScsiDataOut, 60, 100, 24},
      {"ReadTable", msl::ReadTableBlock(1, 2, 0, buffer, 512), kScsiDataIn, 512, 50, 24},
      {"WriteFile 1", msl::WriteFileBlock(1, buffer, 1), kScsiDataOut, 2, 20, 24},
      {"GetFileData", msl::GetFileDataBlock(1, buffer, 65536), kScsiDataIn, 65536, 20, 24},
      {"GetLastStatus 6", msl::GetLastStatusBlock(6, buffer), kScsiDataIn, 5, 20, 24},
      {"GetLastStatus 1", msl::GetLastStatusBlock(1, buffer), kScsiDataIn, 4, 20, 24},
      {"SetParameter", msl::SetParameterBlock(2, buffer, 4), kScsiDataOut, 4, 100, 24},
  };
  const uint64_t address = 0x1122334455667788ull;
  for (size_t pointer : {size_t{4}, size_t{8}}) {
    const PassThroughLayout l = PassThroughLayoutFor(pointer);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (pointer == 4 ? " 32-bit" : " 64-bit"));
      const std::vector<uint8_t> b = BuildPassThroughRequest(c.command, address, pointer);
      ASSERT_EQ(b.size(), l.total);
      EXPECT_EQ(Le(b, 0, 2), l.structLength);
      EXPECT_EQ(b[2], 0) << "ScsiStatus";
      EXPECT_EQ(b[3], 0) << "PathId";
      EXPECT_EQ(b[4], 1) << "TargetId";
      EXPECT_EQ(b[5], 0) << "Lun";
      EXPECT_EQ(b[6], 10) << "CdbLength";
      EXPECT_EQ(b[7], c.senseLength) << "SenseInfoLength";
      EXPECT_EQ(b[8], c.dataIn) << "DataIn";
      EXPECT_EQ(Le(b, 12, 4), c.length) << "DataTransferLength";
      EXPECT_EQ(Le(b, 16, 4), c.timeout) << "TimeOutValue";
      EXPECT_EQ(Le(b, l.dataBuffer, 4), 0x55667788u) << "DataBuffer, low word";
      if (pointer == 8) {
        EXPECT_EQ(Le(b, l.dataBuffer + 4, 4), 0x11223344u) << "DataBuffer, high word";
      }
      EXPECT_EQ(Le(b, l.senseInfoOffset, 4), l.sense) << "SenseInfoOffset";
      for (size_t i = 0; i < 16; ++i) EXPECT_EQ(b[l.cdb + i], c.command.cdb[i]) << "cdb byte " << i;
      for (size_t i = l.filler; i < l.total; ++i) EXPECT_EQ(b[i], 0) << "filler or sense byte " << i;
    }
  }
}

TEST(PassThroughRequest, DirectionsAndSenseBound) {
  struct Case {
    ScsiDirection direction;
    uint8_t senseLength;
    uint8_t dataIn;
    uint8_t sentSense;
  };
  const Case cases[] = {
      {ScsiDirection::kToDevice, 24, kScsiDataOut, 24},
      {ScsiDirection::kFromDevice, 0, kScsiDataIn, 0},
      {ScsiDirection::kNone, 24, kScsiDataIn, 24},
      // More sense than the area holds would let the driver write past the block.
      {ScsiDirection::kFromDevice, 200, kScsiDataIn, 32},
  };
  for (const Case& c : cases) {
    ScsiCommand command;
    command.direction = c.direction;
    command.senseLength = c.senseLength;
    const std::vector<uint8_t> b = BuildPassThroughRequest(command, 0, 4);
    EXPECT_EQ(b[8], c.dataIn);
    EXPECT_EQ(b[7], c.sentSense);
  }
}

}  // namespace
}  // namespace zorbel
