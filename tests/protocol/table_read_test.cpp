// Image tables read from the virtual board over the disk, the NAND flash ID
// step, and the size reads of the Option buttons.
#include "protocol/table_read.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "protocol/page_rules.h"
#include "protocol/protocol_fixture.h"

namespace zorbel {
namespace {

using testing::DiskRig;
using testing::PutImage;

TEST(TableRead, DecodesBothLayoutsIntoRows) {
  for (const auto& row : testing::LoadTable("protocol/table_entries.tsv")) {
    // Two entries, and a count beyond the bytes present: only what is there is decoded.
    const auto twice = testing::CellBytes(row[3] + row[3]);
    const auto rows = DecodeImageTable(twice, 3, testing::CellNumber(row[0]));
    ASSERT_EQ(rows.size(), 2u) << row[4];
    for (const auto& entry : rows) {
      std::string cells;
      for (const auto& cell : TableRowCells(entry, testing::MediumNamed(row[1]), row[2] == "1"))
        cells += (cells.empty() ? "" : "|") + cell;
      EXPECT_EQ(cells, row[4]);
    }
  }
}

TEST(TableRead, NandIdTableSkipsWhatIsNotAnEntry) {
  std::ostringstream text;
  text << "5A D3 51 95 58 1 2\n"  // before the header: ignored
       << "; comment [1stID] header\n"
       << "EC DA 10 95 44 10 20\n"
       << "not an entry\n"
       << "ad dc 80 95 ff 30 -4\n"
       << "5A D3 51 95 58 64 128\n";
  std::istringstream in(text.str());
  const auto entries = ParseNandIdTable(in);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1], (NandIdEntry{{0xAD, 0xDC, 0x80, 0x95, 0xFF}, 30, -4}));
  const uint8_t id[5] = {0x5A, 0xD3, 0x51, 0x95, 0x58};
  EXPECT_EQ(LookUpNandId(entries, std::span<const uint8_t, 5>(id)), (std::array<int32_t, 2>{64, 128}));
  const uint8_t unknown[5] = {1, 2, 3, 4, 5};
  EXPECT_EQ(LookUpNandId(entries, std::span<const uint8_t, 5>(unknown)), (std::array<int32_t, 2>{0, 0}));

  std::ostringstream many;
  many << "[1stID]\n";
  for (int i = 0; i < 60; ++i) many << "1 2 3 4 5 " << i << " 0\n";
  std::istringstream manyIn(many.str());
  EXPECT_EQ(ParseNandIdTable(manyIn).size(), kMaxNandIdEntries);
}

TEST(DiskTableRead, NandTableNeedsTheIdFileAndSendsItsMatchingParameters) {
  DiskRig rig;
  rig.state.moduleDirectory = rig.dir.File("");
  // Without the ID file the list stays as it was.
  std::vector<TableEntry> rows{TableEntry{1, "kept", 0, 0, 0, 0}};
  EXPECT_EQ(ReadImageTableMs(rig.state, Medium::kNand, &rig.prompt, rows), TableRead::kUntouched);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rig.prompt.Messages(), std::vector<std::string>{table_text::kNandIdFileMissing});
  // The board's ID is on the third entry.
  std::ofstream(rig.dir.File(kNandIdFile))
      << "[1stID]\r\nEC DA 10 95 44 1 2\r\n98 F1 80 15 72 3 4\r\n5A D3 51 95 58 77 512\r\n";
  ASSERT_TRUE(PutImage(rig.board, sim::Medium::kNand, 4, "splash", 4, 0x30));
  ASSERT_EQ(ReadImageTableMs(rig.state, Medium::kNand, &rig.prompt, rows), TableRead::kRead);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(TableRowCells(rows[0], Medium::kNand, false)[2], "logo");
  EXPECT_EQ(rows[0].name, "splash");
  EXPECT_EQ(rows[0].word2, 0x30u);
  EXPECT_EQ(rig.board.NandIdParameters(), (std::array<uint32_t, 2>{77, 512}));
  EXPECT_EQ(rig.prompt.Messages().size(), 1u);
}

TEST(DiskTableRead, EmptyAndFailedReadsAreSilent) {
  DiskRig rig;
  std::vector<TableEntry> rows{TableEntry{}};
  EXPECT_EQ(ReadImageTableMs(rig.state, Medium::kSpi, &rig.prompt, rows), TableRead::kRead);
  EXPECT_TRUE(rows.empty());
  rig.board.InjectFault({sim::FaultKind::kHugeTableCount, sim::Operation::kReadTable, sim::Medium::kSd});
  rows.push_back(TableEntry{});
  EXPECT_EQ(ReadImageTableMs(rig.state, Medium::kSd, &rig.prompt, rows), TableRead::kEmptied);
  EXPECT_TRUE(rows.empty());
  EXPECT_TRUE(rig.prompt.Messages().empty());
  // The largest count believed is asked for; one more is not.
  for (const uint32_t count : {kMaxTableEntries, kMaxTableEntries + 1}) {
    rig.commands.clear();
    rig.board.InjectFault(
        {sim::FaultKind::kHugeTableCount, sim::Operation::kReadTable, sim::Medium::kSd, 1, count});
    EXPECT_EQ(ReadImageTableMs(rig.state, Medium::kSd, &rig.prompt, rows), TableRead::kEmptied);
    EXPECT_EQ(rig.commands.size(), count == kMaxTableEntries ? 2u : 1u) << count;
  }
}

TEST(DiskTableRead, SizesOfTheOptionButtons) {
  DiskRig rig;
  EXPECT_EQ(ReadSdCardSize(rig.state, &rig.prompt), 1024u);
  const auto nand = ReadNandFlashSize(rig.state, &rig.prompt);
  ASSERT_TRUE(nand.has_value());
  EXPECT_GT(*nand, 0u);
  EXPECT_TRUE(rig.prompt.Messages().empty());

  rig.state.connection.CloseVolumes();
  EXPECT_EQ(ReadNandFlashSize(rig.state, &rig.prompt), std::nullopt);
  EXPECT_EQ(ReadSdCardSize(rig.state, &rig.prompt), std::nullopt);
  EXPECT_EQ(rig.prompt.Messages(), (std::vector<std::string>{"No Device Handle", table_text::kNandSizeFailed,
                                                             "No Device Handle", table_text::kSdSizeFailed}));
}

TEST(OlderDiskTableRead, ShortEntriesCarrySixteenCharacterNames) {
  DiskRig rig(sim::BoardKind::kOlder);
  ASSERT_TRUE(PutImage(rig.board, sim::Medium::kNand, 2, "abcdefghijklmnop", 1, 0x40));
  std::vector<TableEntry> rows;
  ASSERT_EQ(ReadImageTableMs(rig.state, Medium::kNand, &rig.prompt, rows), TableRead::kRead);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(TableRowCells(rows[0], Medium::kNand, false),
            (std::vector<std::string>{"2", "abcdefghijklmnop", "execute", "0x40", HexCell(rows[0].word1)}));
}

}  // namespace
}  // namespace zorbel
