#pragma once
// The board's storage: SDRAM, NOR, NAND, SPI and three SD card slots, each
// with its contents and (except SDRAM) its image table. Transport-free: the
// serial and disk sides both turn their records into these calls. Every
// mutating call returns an empty text on success and the reason otherwise.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "flash_store.h"
#include "virtual_board.h"

namespace zorbel::sim {

constexpr uint32_t kEraseAllImages = 0xFFFFFFFFu;
constexpr uint32_t kEraseSystemArea = 0xFFFFEEEEu;
constexpr uint32_t kSystemImageKind = 3;
constexpr uint32_t kSpiBankSize = 0x10000;
constexpr uint32_t kSdSectorSize = 512;
constexpr uint64_t kSdramSize = 64ull << 20;

struct MediumState {
  MediumState(uint64_t size, uint32_t unitBytes) : store(size, 0xFF), unit(unitBytes) {}
  FlashStore store;
  std::vector<ImageEntry> table;  // ascending image numbers
  uint32_t unit;                  // bytes per start unit
};

// Block size in bytes for a block-size code; 0 for an unknown code.
uint32_t BlockSizeForCode(uint8_t code);

class BoardModel {
 public:
  explicit BoardModel(const BoardOptions& options);

  // The SD medium is the card of the selected port; null when that slot is empty.
  MediumState* Get(Medium medium);
  const MediumState* Get(Medium medium) const;
  MediumState* SdSlot(uint8_t port) { return port < sd_.size() ? sd_[port].get() : nullptr; }
  FlashStore& sdram() { return sdram_; }
  const FlashStore& sdram() const { return sdram_; }

  uint32_t NandBlockSize() const { return nandBlockSize_; }
  uint32_t NandBlockCount() const { return nandBlockCount_; }
  uint32_t NandSizeMb() const;
  uint32_t SdSizeMb() const;  // of the selected port; 0 when empty

  std::string StoreImage(Medium medium, ImageEntry entry, const std::vector<uint8_t>& data);
  // An image burn in two halves, so its data can go to its place as it
  // arrives. BeginImage checks the image of `length` bytes and clears its
  // place: the old image of that number leaves the table and the range reads
  // erased. It gives `entry` its final number, start, length and end. AddImage
  // puts the entry in the table once all of its data is in; an image whose
  // data never completes is in no table.
  std::string BeginImage(Medium medium, ImageEntry& entry, uint32_t length);
  void AddImage(Medium medium, const ImageEntry& entry);
  std::string EraseImage(Medium medium, uint32_t number);
  std::string EraseNandBlocks(uint32_t first, uint32_t last);
  std::string ModifyImage(Medium medium, uint32_t number, uint32_t type);
  std::string WriteRaw(Medium medium, uint64_t offset, const std::vector<uint8_t>& data);
  // Why raw data of `length` bytes at `offset` cannot go there; empty when it can.
  std::string CheckRaw(Medium medium, uint64_t offset, uint64_t length) const;
  // The contents of a medium, SDRAM included; null for an empty SD slot.
  FlashStore* Store(Medium medium);
  // A NAND ROM file without its 12-byte file header, announced with `count` images.
  std::string BurnNandRom(const std::vector<uint8_t>& body, uint32_t count);
  std::vector<uint8_t> NandRomBody() const;

  std::optional<ImageEntry> Find(Medium medium, uint32_t number) const;
  std::vector<uint8_t> ImageData(Medium medium, uint32_t number) const;
  // The table as the board sends it: entries of 60 or 44 bytes, without the count.
  std::vector<uint8_t> TableBytes(Medium medium, size_t entrySize) const;
  uint64_t ImageOffset(Medium medium, const ImageEntry& entry) const;

  uint32_t nandReservedMb = 0;
  uint32_t sdReservedMb = 0;
  bool sdFormatRequested = false;
  uint8_t sdPort = 0;
  std::array<uint32_t, 2> nandIdParameters{};
  std::vector<uint32_t> rawNandOrder;  // image numbers of the last raw NAND burn, in file order

 private:
  uint32_t nandBlockSize_;
  uint32_t nandBlockCount_;
  FlashStore sdram_;
  MediumState nor_;
  MediumState nand_;
  MediumState spi_;
  std::array<std::unique_ptr<MediumState>, 3> sd_;
};

}  // namespace zorbel::sim
