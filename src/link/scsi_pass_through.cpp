#include "link/scsi_pass_through.h"

#include <algorithm>

#include "app/byte_order.h"

namespace zorbel {

namespace {

constexpr size_t AlignUp(size_t value, size_t alignment) { return (value + alignment - 1) / alignment * alignment; }

// Offsets of the leading fields, the same for both widths.
constexpr size_t kLengthAt = 0;
constexpr size_t kPathIdAt = 3;
constexpr size_t kTargetIdAt = 4;
constexpr size_t kLunAt = 5;
constexpr size_t kCdbLengthAt = 6;
constexpr size_t kSenseInfoLengthAt = 7;
constexpr size_t kDataInAt = 8;
constexpr size_t kDataTransferLengthAt = 12;
constexpr size_t kTimeOutValueAt = 16;
constexpr size_t kFirstPointerCandidate = 20;
constexpr size_t kCdbBytes = 16;
constexpr size_t kFillerBytes = 4;

uint8_t DataInFor(ScsiDirection direction) {
  // Only the run command has no data phase; boards are used to seeing it
  // marked "from the board" with a length of 0.
  return direction == ScsiDirection::kToDevice ? kScsiDataOut : kScsiDataIn;
}

}  // namespace

PassThroughLayout PassThroughLayoutFor(size_t pointerBytes) {
  PassThroughLayout l{};
  l.pointerBytes = pointerBytes;
  l.dataBuffer = AlignUp(kFirstPointerCandidate, pointerBytes);
  l.senseInfoOffset = l.dataBuffer + pointerBytes;
  l.cdb = l.senseInfoOffset + 4;
  l.structLength = AlignUp(l.cdb + kCdbBytes, pointerBytes);
  l.filler = l.structLength;
  l.sense = l.filler + kFillerBytes;
  l.total = AlignUp(l.sense + kPassThroughSenseArea, pointerBytes);
  return l;
}

std::vector<uint8_t> BuildPassThroughRequest(const ScsiCommand& command, uint64_t dataAddress,
                                             size_t pointerBytes) {
  const PassThroughLayout l = PassThroughLayoutFor(pointerBytes);
  std::vector<uint8_t> block(l.total, 0);
  uint8_t* p = block.data();
  StoreLe16(p + kLengthAt, static_cast<uint16_t>(l.structLength));
  p[kPathIdAt] = kPassThroughPathId;
  p[kTargetIdAt] = kPassThroughTargetId;
  p[kLunAt] = kPassThroughLun;
  p[kCdbLengthAt] = command.cdbLength;
  // Never more sense than the area holds: the driver writes that many bytes.
  p[kSenseInfoLengthAt] = static_cast<uint8_t>(std::min<size_t>(command.senseLength, kPassThroughSenseArea));
  p[kDataInAt] = DataInFor(command.direction);
  StoreLe32(p + kDataTransferLengthAt, command.dataLength);
  StoreLe32(p + kTimeOutValueAt, command.timeoutSeconds);
  for (size_t i = 0; i < pointerBytes; ++i) p[l.dataBuffer + i] = static_cast<uint8_t>(dataAddress >> (8 * i));
  StoreLe32(p + l.senseInfoOffset, static_cast<uint32_t>(l.sense));
  for (size_t i = 0; i < kCdbBytes; ++i) p[l.cdb + i] = command.cdb[i];
  return block;
}

}  // namespace zorbel
