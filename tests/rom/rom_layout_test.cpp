// The layout rules the builders, the conversion and the dialogs share,
// against hand-worked tables under tests/data/rom.
#include "rom/rom_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/test_table.h"

namespace zorbel {
namespace {

using testing::LoadTable;

uint64_t Number(const std::string& cell) { return std::stoull(cell, nullptr, 0); }

std::vector<uint8_t> Bytes(const std::string& cell) { return {cell.begin(), cell.end()}; }

TEST(RomLayoutTest, ListNumbers) {
  for (const auto& row : LoadTable("rom/list_numbers.tsv")) {
    EXPECT_EQ(row[0] == "hex" ? ParseListHex(row[1]) : ParseListDecimal(row[1]), Number(row[2])) << row[1];
  }
}

TEST(RomLayoutTest, NameFieldKeepsWholeCharacters) {
  for (const auto& row : LoadTable("rom/name_fields.tsv")) {
    std::vector<uint8_t> field(Number(row[1]), 0xEE);
    CopyNameField(field, row[0], Number(row[2]));
    EXPECT_EQ(field, Bytes(row[3])) << row[0];
  }
}

TEST(RomLayoutTest, NandFillAndEndBlocks) {
  for (const auto& row : LoadTable("rom/nand_blocks.tsv")) {
    const auto block = static_cast<uint32_t>(Number(row[1]));
    EXPECT_EQ(NandImageFill(Number(row[0]), block), Number(row[2])) << row[0];
    EXPECT_EQ(NandEndBlock(4, Number(row[0]), block), Number(row[3])) << row[0];
  }
}

TEST(RomLayoutTest, SpiEnd) {
  for (const auto& row : LoadTable("rom/spi_ends.tsv")) {
    const auto start = static_cast<uint32_t>(Number(row[0]));
    EXPECT_EQ(SpiEndPosition(start, Number(row[1]), row[2] == "bank"), Number(row[3])) << row[1];
  }
}

TEST(NorRomChecksumTest, CarriesAreAddedBackOnce) {
  for (const auto& row : LoadTable("rom/nor_checksums.tsv")) {
    EXPECT_EQ(NorRomChecksum(Bytes(row[0])), Number(row[1])) << row[1];
  }
}

}  // namespace
}  // namespace zorbel
