#pragma once
// The request block that carries one ScsiCommand through the Windows SCSI
// pass-through control call: the platform's pass-through structure, a 4-byte
// filler and a 32-byte sense area, all in one buffer that the call reads and
// writes back. The layout depends on the width of the data pointer: 4 bytes
// gives the 80-byte block with the structure's 44 bytes, sense at 48; a 64-bit
// process must send the 56-byte structure (sense at 60, 96 bytes in all),
// which is what its driver expects. Built as bytes here so every platform's
// tests can read it at its offsets.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/scsi_transport.h"

namespace zorbel {

// The pass-through control code (IOCTL_SCSI_PASS_THROUGH_DIRECT).
constexpr uint32_t kScsiPassThroughDirect = 0x0004D014;

// DataIn values of the pass-through structure.
constexpr uint8_t kScsiDataOut = 0;  // to the board
constexpr uint8_t kScsiDataIn = 1;   // from the board, and commands without data

// Where each field lies for a given pointer width (4 or 8 bytes).
struct PassThroughLayout {
  size_t pointerBytes;
  size_t dataBuffer;       // the data pointer
  size_t senseInfoOffset;  // the field holding the sense area's offset
  size_t cdb;              // the 16-byte command block
  size_t structLength;     // the structure's Length
  size_t filler;
  size_t sense;
  size_t total;
};

PassThroughLayout PassThroughLayoutFor(size_t pointerBytes);

// Fixed fields of every request.
constexpr uint8_t kPassThroughPathId = 0;
constexpr uint8_t kPassThroughTargetId = 1;
constexpr uint8_t kPassThroughLun = 0;
constexpr size_t kPassThroughSenseArea = 32;

// The whole block for command, its DataBuffer holding dataAddress in
// pointerBytes little-endian bytes. The sense area and the filler are zero.
std::vector<uint8_t> BuildPassThroughRequest(const ScsiCommand& command, uint64_t dataAddress,
                                             size_t pointerBytes);

}  // namespace zorbel
