#pragma once
// Made-up product files that the build puts beside the executables: loader
// files with valid 16-byte headers and tagged payloads the virtual board
// accepts, a sample "Zorbel.ini", a sample "NAND ID.ini" and a template
// "t.bin". Tests can build loaders of other sizes with the same functions.
#include <cstdint>
#include <string>
#include <vector>

#include "virtual_board.h"

namespace zorbel::sim {

// Load addresses the stand-in loaders carry (the board checks them).
constexpr uint32_t kSerialLoaderAddress = 0x00E00000;
constexpr uint32_t kOlderLoadAddress = 0xFFE76000;  // what the tool uses for the older chip
uint32_t FamilyLoadAddress(BoardKind kind);

// Every loader stage starts with a 16-byte stage header of its own:
// tag[4], u32 stage length (this header included), u32 load address, u8 kind, 3 zero bytes.
constexpr uint32_t kStageHeaderSize = 16;
constexpr char kSerialStageTag[4] = {'Z', 'S', 'L', 'X'};
constexpr char kFirstStageTag[4] = {'Z', 'S', 'L', '1'};
constexpr char kSecondStageTag[4] = {'Z', 'S', 'L', '2'};
uint8_t KindCode(BoardKind kind);

// A tagged stage of `length` bytes (at least kStageHeaderSize) with made-up contents.
std::vector<uint8_t> MakeStage(const char (&tag)[4], uint32_t length, uint32_t address, BoardKind kind);

// The 16-byte loader file header: 'Q','K',0x5A,0xA5, address, length, BCD version/day/month/year.
std::vector<uint8_t> MakeLoaderHeader(uint32_t address, uint32_t length, uint8_t version, uint8_t day,
                                      uint8_t month, uint8_t year);

// "xusb.bin": header + a serial stage of payloadLength bytes.
std::vector<uint8_t> MakeSerialLoader(uint32_t payloadLength);
// "musb.bin" and the family files: header + first stage (+ second stage for the older chip).
std::vector<uint8_t> MakeDiskLoader(BoardKind kind, uint32_t firstStageLength, uint32_t secondStageLength);

// Writes every stand-in file into dir (replacing each whole). False on any failure.
bool WriteStandIns(const std::string& dir, std::string* error);

}  // namespace zorbel::sim
