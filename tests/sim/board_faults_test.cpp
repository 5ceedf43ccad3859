// The slow-programming fault, persistence and the stand-in files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "board_test_util.h"
#include "flash_store.h"
#include "protocol/protocol_fixture.h"
#include "protocol/table_read.h"
#include "standin_files.h"
#include "virtual_board.h"

namespace zorbel::sim::test {
namespace {

namespace fs = std::filesystem;
// No test of the tool injects this fault, so its timing is pinned down here.
TEST(DiskFaults, SlowProgrammingKeepsTheStatusUnansweredUntilDone) {
  BoardOptions o = BoardOn(BoardKind::kQuen);
  o.stepDelayMs = 0;
  DiskBoard b(o);
  b.board.InjectFault({FaultKind::kSlowProgramming, Operation::kBurn, Medium::kAny, 1, 500});
  ASSERT_TRUE(b.disk.Head(0, 5, ImageHead(0, 10, 1, "s", 0, 0, 1)));
  ASSERT_TRUE(b.disk.Send(0, Pattern(10, 1)));
  b.clock.Advance(1999);  // four steps of 500 ms
  EXPECT_FALSE(b.disk.Status(3));
  b.clock.Advance(1);
  EXPECT_EQ(b.disk.Status(3), 0u);
}

// ---------------------------------------------------------------- persistence

TEST(BoardState, SurvivesAnotherBoardOnTheSameFolderInASmallFile) {
  zorbel::testing::TempFolder dir;
  FakeClock clock;
  BoardOptions o = BoardOn(BoardKind::kPilk, &clock);
  o.spiSizeBytes = 8u << 20;
  o.stateDir = dir.File("state");
  const Bytes card = Pattern(70000, 3);
  const Bytes spi = Pattern(70000, 4);
  // The last bank before a page boundary.
  const uint32_t bank = static_cast<uint32_t>(FlashStore::kPageSize / 65536) - 1;
  {
    VirtualBoard board(o);
    Disk disk(board.OpenDisk());
    ASSERT_TRUE(disk.Head(3, 7, ImageHead(0, 70000, 5, "card", 1, 0x100, 0x40)));
    ASSERT_TRUE(disk.Send(3, card));
    ASSERT_TRUE(disk.Out(LoaderCdb('f', 0, 0), Bytes{8, 0, 0, 0}));
    ASSERT_TRUE(board.PutImage(Medium::kSpi, Entry(2, "p", bank), spi));
  }
  o.startInLoaderStage = false;  // the stage comes from the folder
  VirtualBoard again(o);
  EXPECT_EQ(again.CurrentStage(), Stage::kLoader);
  EXPECT_EQ(again.ImageData(Medium::kSd, 5), card);
  EXPECT_EQ(again.FindImage(Medium::kSd, 5)->name, "card");
  EXPECT_EQ(again.NandReservedMb(), 8u);
  Bytes flat(8u << 20, 0xFF);
  std::copy(spi.begin(), spi.end(), flat.begin() + static_cast<std::ptrdiff_t>(bank) * 65536);
  EXPECT_EQ(again.Flash(Medium::kSpi, 0, 8u << 20), flat);
  // Erased blocks are left out: far less than the pages the images touch.
  EXPECT_LT(fs::file_size(fs::path(o.stateDir) / "board.state"), 2 * (card.size() + spi.size()));
}

TEST(BoardState, DamagedOrForeignFileStartsFresh) {
  zorbel::testing::TempFolder dir;
  FakeClock clock;
  BoardOptions o = BoardOn(BoardKind::kQuen, &clock);
  o.stateDir = dir.File("state");
  // Each board is gone, its state saved, at the end of its line.
  ASSERT_TRUE(VirtualBoard(o).PutImage(Medium::kNand, Entry(1, "", 1), Pattern(10, 1)));
  BoardOptions other = o;
  other.kind = BoardKind::kRast;
  EXPECT_TRUE(VirtualBoard(other).Table(Medium::kNand).empty()) << "a quen board's state on a rast board";
  // Kept aside, never saved over.
  const fs::path state = fs::path(o.stateDir) / "board.state";
  const fs::path aside = state.string() + ".damaged-1";
  ASSERT_TRUE(fs::exists(aside));
  fs::rename(aside, state);
  fs::resize_file(state, fs::file_size(state) - 100);
  VirtualBoard cut(o);
  EXPECT_TRUE(cut.Table(Medium::kNand).empty());
  EXPECT_FALSE(cut.ProtocolErrors().empty());
  EXPECT_TRUE(fs::exists(aside));
}

// ---------------------------------------------------------------- stand-in files

// Each disk loader's header and its first stage, which the board of its kind takes.
TEST(StandInFiles, LoaderHeadersAreValidAndTheBoardTakesTheFirstStage) {
  const std::pair<const char*, BoardKind> files[] = {{"musb.bin", BoardKind::kOlder},
                                                     {"Quen_musb.bin", BoardKind::kQuen},
                                                     {"Rast_musb.bin", BoardKind::kRast},
                                                     {"Pilk_musb.bin", BoardKind::kPilk}};
  for (const auto& [name, kind] : files) {
    SCOPED_TRACE(name);
    Bytes file = zorbel::testing::ReadFileBytes(fs::path(ZORBEL_BIN_DIR) / name);
    ASSERT_GE(file.size(), 16u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{'Q', 'K', 0x5A, 0xA5}));
    EXPECT_EQ(Le32(file, 4), FamilyLoadAddress(kind));
    const uint32_t first = Le32(file, 8);
    ASSERT_LE(first, 65536u);
    ASSERT_LE(16u + first, file.size());
    for (int i = 12; i < 16; ++i)
      EXPECT_TRUE((file[i] & 0x0F) <= 9 && (file[i] >> 4) <= 9) << "BCD byte " << i;

    DiskBoard b(BoardOn(kind, nullptr, false));
    ASSERT_TRUE(b.disk.In(BootCdb('U', FamilyLoadAddress(kind)), 3583));
    ASSERT_TRUE(
        b.disk.Out(BootCdb('r', first & 0xFFFF), Bytes(file.begin() + 16, file.begin() + 16 + first)));
    EXPECT_TRUE(b.board.ProtocolErrors().empty());
  }
}

TEST(StandInFiles, TemplateHasOneMarkerAndTheIdTableListsTheBoardsId) {
  Bytes t = zorbel::testing::ReadFileBytes(fs::path(ZORBEL_BIN_DIR) / "t.bin");
  const Bytes marker{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  auto at = std::search(t.begin(), t.end(), marker.begin(), marker.end());
  ASSERT_NE(at, t.end());
  EXPECT_LE(static_cast<size_t>(at - t.begin()) + 512, t.size()) << "room for the settings text";
  EXPECT_EQ(std::search(at + 1, t.end(), marker.begin(), marker.end()), t.end());

  // The tool, reading the table as it does, finds the default board's NAND ID there.
  std::ifstream ids(fs::path(ZORBEL_BIN_DIR) / "NAND ID.ini");
  EXPECT_NE(LookUpNandId(ParseNandIdTable(ids), BoardOptions().nandId), (std::array<int32_t, 2>{0, 0}));
}

}  // namespace
}  // namespace zorbel::sim::test
