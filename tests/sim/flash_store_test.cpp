// The sparse flash store against a flat array, and the board's disk write
// path into it: data goes to its place as it arrives, yet a refused write
// stores nothing and an unfinished one leaves no table entry.
#include "flash_store.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "app/test_table.h"
#include "board_test_util.h"
#include "virtual_board.h"

namespace zorbel::sim::test {
namespace {

constexpr uint64_t kPage = FlashStore::kPageSize;

// ---------------------------------------------------------------- the store

TEST(FlashStore, ReadsLikeAFlatArrayThroughWritesErasesAndBlanks) {
  const uint64_t size = 3 * kPage + 4097;
  const auto steps = zorbel::testing::LoadTable("sim/flash_store_steps.tsv");
  for (uint8_t erased : {uint8_t{0xFF}, uint8_t{0x00}}) {
    FlashStore store(size, erased);
    std::vector<uint8_t> flat(size, erased);
    uint32_t seed = 1;
    for (const auto& step : steps) {
      SCOPED_TRACE(step[0] + ", erased value " + std::to_string(erased));
      const uint64_t offset = std::stoull(step[2]) * kPage + std::stoll(step[3]);
      const uint64_t length = std::stoull(step[4]) * kPage + std::stoull(step[5]);
      if (step[1] == "write") {
        Bytes data = Pattern(length, seed++);
        ASSERT_TRUE(store.Write(offset, data.data(), data.size()));
        std::copy(data.begin(), data.end(), flat.begin() + static_cast<std::ptrdiff_t>(offset));
      } else {
        ASSERT_TRUE(step[1] == "erase" ? store.Erase(offset, length) : store.Blank(offset, length));
        std::fill_n(flat.begin() + static_cast<std::ptrdiff_t>(offset), length, erased);
      }
      ASSERT_EQ(store.Read(0, size), flat);
    }
  }
}

TEST(FlashStore, RangesPastTheEndAreRefusedAndChangeNothing) {
  const uint64_t size = kPage + 10;
  const uint64_t huge = std::numeric_limits<uint64_t>::max();
  const std::pair<uint64_t, uint64_t> ranges[] = {{size, 1}, {size - 1, 2}, {size + 1, 0},
                                                  {huge, 2}, {1, huge},     {huge, huge}};
  FlashStore store(size, 0xFF);
  const Bytes data = Pattern(size, 3);
  ASSERT_TRUE(store.Write(0, data.data(), data.size()));
  ASSERT_TRUE(store.Write(size, data.data(), 0)) << "an empty range at the very end is in range";
  for (const auto& [offset, length] : ranges) {
    SCOPED_TRACE(std::to_string(offset) + " + " + std::to_string(length));
    uint8_t byte = 0;
    EXPECT_FALSE(store.Write(offset, data.data(), length));
    EXPECT_FALSE(store.Read(offset, &byte, length));
    EXPECT_TRUE(store.Read(offset, length).empty());
    EXPECT_FALSE(store.Erase(offset, length));
    EXPECT_FALSE(store.Blank(offset, length));
    EXPECT_EQ(store.Read(0, size), data);
  }
}

TEST(FlashStore, HoldsOnlyThePagesThatHoldData) {
  FlashStore store(512ull << 20, 0xFF);  // a large SPI flash
  EXPECT_TRUE(store.PageOffsets().empty());
  EXPECT_TRUE(store.Erase(0, store.size()));
  EXPECT_EQ(store.Read(100ull << 20, 3), Bytes(3, 0xFF));
  EXPECT_TRUE(store.PageOffsets().empty()) << "erasing and reading allocate nothing";

  const uint8_t one = 0x42;
  ASSERT_TRUE(store.Write((300ull << 20) + 5, &one, 1));
  ASSERT_TRUE(store.Write(kPage - 1, Bytes(2, 1).data(), 2));
  EXPECT_EQ(store.PageOffsets(), (std::vector<uint64_t>{0, kPage, 300ull << 20}));

  EXPECT_TRUE(store.Blank(kPage, kPage));
  EXPECT_EQ(store.PageOffsets().size(), 3u) << "a blanked page is kept for the data to come";
  EXPECT_TRUE(store.Erase(kPage, kPage));
  EXPECT_TRUE(store.Erase(0, kPage - 1));
  EXPECT_EQ(store.PageOffsets(), (std::vector<uint64_t>{0, 300ull << 20}))
      << "an erased whole page is given back; a partly erased one stays";
  store.EraseAll();
  EXPECT_TRUE(store.PageOffsets().empty());
  EXPECT_EQ(store.Read(kPage - 1, 1), Bytes(1, 0xFF));
}

// ---------------------------------------------------------------- the board's write path

TEST(DiskWritePath, RefusedWriteStoresNothing) {
  using zorbel::testing::CellNumber;
  for (const auto& row : zorbel::testing::LoadTable("sim/refused_writes.tsv")) {
    SCOPED_TRACE(row[0]);
    const Medium medium = zorbel::testing::SimMedium(zorbel::testing::MediumNamed(row[2]));
    const uint32_t length = CellNumber(row[4]);
    const Bytes head = row[3] == "raw" ? LeWords({0, length, CellNumber(row[5])})
                                       : ImageHead(0, length, CellNumber(row[5]), row[6], CellNumber(row[7]),
                                                   CellNumber(row[8]), CellNumber(row[9]));
    BoardOptions o = BoardOn(BoardKind::kQuen);
    o.spiSizeBytes = 2 * kPage;  // the NOR flash keeps its 4 MiB
    DiskBoard b(o);
    ASSERT_TRUE(b.board.PutImage(Medium::kNand, Entry(1, "a", 4), Pattern(40000, 1)));
    ASSERT_TRUE(b.board.PutImage(Medium::kSpi, Entry(2, "s", 1), Pattern(70000, 2)));
    const uint32_t window = medium == Medium::kNor ? o.norSizeBytes : o.spiSizeBytes;
    const Bytes before = b.board.Flash(medium, 0, window);
    const auto table = b.board.Table(medium);
    // A refused write still takes its data.
    EXPECT_EQ(b.Write(static_cast<uint8_t>(CellNumber(row[1])), head, Pattern(length, 9)), 1u);
    EXPECT_EQ(b.board.Flash(medium, 0, window), before);
    EXPECT_EQ(b.board.Table(medium), table);
  }
}

TEST(DiskWritePath, ImageReplacedAtAnotherPlaceAcrossPages) {
  DiskBoard b(BoardOn(BoardKind::kRast));
  const uint32_t bank = 65536;
  // From bank 20 over 3 MiB: across page boundaries, in chunks of an odd size.
  const Bytes first = Pattern((3u << 20) + 3, 4);
  ASSERT_EQ(b.Write(5, ImageHead(0, static_cast<uint32_t>(first.size()), 5, "x", 1, 0, 20), first, 65535),
            0u);
  EXPECT_EQ(b.board.ImageData(Medium::kSpi, 5), first);

  // Again at bank 40, shorter: what the old image held outside the new one reads erased.
  const Bytes second = Pattern(1u << 20, 6);
  ASSERT_EQ(b.Write(5, ImageHead(0, static_cast<uint32_t>(second.size()), 5, "y", 1, 0, 40), second), 0u);
  ASSERT_EQ(b.board.Table(Medium::kSpi).size(), 1u);
  EXPECT_EQ(b.board.FindImage(Medium::kSpi, 5)->start, 40u);
  EXPECT_EQ(b.board.ImageData(Medium::kSpi, 5), second);
  EXPECT_EQ(b.board.Flash(Medium::kSpi, 20 * bank, 20 * bank), Bytes(20 * bank, 0xFF));
  const uint32_t after = 40 * bank + static_cast<uint32_t>(second.size());
  const uint32_t oldEnd = 20 * bank + static_cast<uint32_t>(first.size());
  EXPECT_EQ(b.board.Flash(Medium::kSpi, after, oldEnd - after), Bytes(oldEnd - after, 0xFF));
}

// A new image or one replacing an image of its number, ended by another head
// or by the disk vanishing.
TEST(DiskWritePath, UnfinishedImageLeavesNoEntry) {
  for (bool replacesAnImage : {false, true}) {
    for (bool vanishes : {false, true}) {
      SCOPED_TRACE(std::string(replacesAnImage ? "replacing" : "new") +
                   (vanishes ? ", vanishes" : ", new head"));
      DiskBoard b(BoardOn(BoardKind::kQuen));
      const Bytes other = Pattern(30000, 8);
      ASSERT_TRUE(b.board.PutImage(Medium::kSpi, Entry(9, "keep", 60), other));
      if (replacesAnImage) {
        ASSERT_TRUE(b.board.PutImage(Medium::kSpi, Entry(3, "old", 2), Pattern(1000, 1)));
      }
      if (vanishes)
        b.board.InjectFault({FaultKind::kDisconnectAtChunk, Operation::kBurn, Medium::kSpi, 2, 0});
      const Bytes image = Pattern(3 * 65536, 7);
      const Bytes head = ImageHead(0, static_cast<uint32_t>(image.size()), 3, "new", 1, 0, 2);
      ASSERT_TRUE(b.disk.Head(0, 5, head));
      ASSERT_TRUE(b.disk.Send(0, Bytes(image.begin(), image.begin() + 65536)));
      EXPECT_EQ(b.disk.Send(0, Bytes(image.begin() + 65536, image.end() - 65536)), !vanishes);
      if (!vanishes) {
        ASSERT_TRUE(b.disk.Head(0, 5, ImageHead(3, 0, 9, "", 0, 0, 0)));
      }
      EXPECT_FALSE(b.board.FindImage(Medium::kSpi, 3));
      EXPECT_EQ(b.board.ImageData(Medium::kSpi, 9), other);
      if (vanishes) continue;
      // The next burn of that number starts afresh.
      EXPECT_EQ(b.Write(5, head, image), 0u);
      EXPECT_EQ(b.board.ImageData(Medium::kSpi, 3), image);
    }
  }
}

}  // namespace
}  // namespace zorbel::sim::test
