// The sparse flash store against a flat array, and the board's disk write
// path into it: data goes to its place as it arrives, yet a refused write
// stores nothing and an unfinished one leaves no table entry.
#include "flash_store.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "board_test_util.h"
#include "virtual_board.h"

namespace zorbel::sim::test {
namespace {

constexpr uint64_t kPage = FlashStore::kPageSize;

// ---------------------------------------------------------------- the store

TEST(FlashStore, ReadsLikeAFlatArrayThroughWritesErasesAndBlanks) {
  enum class Op { kWrite, kErase, kBlank };
  struct Step {
    const char* what;
    Op op;
    uint64_t offset;
    uint64_t length;
  };
  const uint64_t size = 3 * kPage + 4097;  // the last page is partial
  const Step steps[] = {
      {"start of a page", Op::kWrite, 0, 10},
      {"across a page boundary", Op::kWrite, kPage - 5, 10},
      {"new page, not from its start", Op::kWrite, 2 * kPage + 100, 50},
      {"inside what is stored", Op::kWrite, 2 * kPage + 10, 20},
      {"past what is stored, leaving a gap", Op::kWrite, 2 * kPage + 1000, 10},
      {"erase across a page boundary", Op::kErase, kPage - 2, 4},
      {"blank the stored tail of a page", Op::kBlank, 2 * kPage + 120, 900},
      {"the blanked bytes stay erased when the page grows again", Op::kWrite, 2 * kPage + 2000, 5},
      {"erase inside what is stored", Op::kErase, 2 * kPage + 12, 3},
      {"erase a whole page", Op::kErase, 0, kPage},
      {"last bytes of the medium", Op::kWrite, size - 3, 3},
      {"a whole page at once", Op::kWrite, kPage, kPage},
      {"blank a whole page", Op::kBlank, kPage, kPage},
      {"write into a blanked page", Op::kWrite, kPage + 7, 1},
      {"erase everything", Op::kErase, 0, size},
      {"write after everything was erased", Op::kWrite, 3 * kPage + 1, 4096},
  };
  for (uint8_t erased : {uint8_t{0xFF}, uint8_t{0x00}}) {
    FlashStore store(size, erased);
    std::vector<uint8_t> flat(size, erased);
    uint8_t seed = 1;
    for (const Step& s : steps) {
      SCOPED_TRACE(std::string(s.what) + ", erased value " + std::to_string(erased));
      switch (s.op) {
        case Op::kWrite: {
          Bytes data = Pattern(s.length, seed++);
          ASSERT_TRUE(store.Write(s.offset, data.data(), data.size()));
          std::copy(data.begin(), data.end(), flat.begin() + static_cast<std::ptrdiff_t>(s.offset));
          break;
        }
        case Op::kErase:
        case Op::kBlank:
          ASSERT_TRUE(s.op == Op::kErase ? store.Erase(s.offset, s.length) : store.Blank(s.offset, s.length));
          std::fill_n(flat.begin() + static_cast<std::ptrdiff_t>(s.offset), s.length, erased);
          break;
      }
      ASSERT_EQ(store.Read(0, size), flat);
    }
  }
}

TEST(FlashStore, RangesPastTheEndAreRefusedAndChangeNothing) {
  const uint64_t size = kPage + 10;
  const uint64_t huge = std::numeric_limits<uint64_t>::max();
  struct Range {
    uint64_t offset;
    uint64_t length;
  };
  const Range ranges[] = {{size, 1}, {size - 1, 2}, {size + 1, 0}, {huge, 2}, {1, huge}, {huge, huge}};
  FlashStore store(size, 0xFF);
  const Bytes data = Pattern(size, 3);
  ASSERT_TRUE(store.Write(0, data.data(), data.size()));
  ASSERT_TRUE(store.Write(size, data.data(), 0)) << "an empty range at the very end is in range";
  for (const Range& r : ranges) {
    SCOPED_TRACE(std::to_string(r.offset) + " + " + std::to_string(r.length));
    uint8_t byte = 0;
    EXPECT_FALSE(store.Write(r.offset, data.data(), r.length));
    EXPECT_FALSE(store.Read(r.offset, &byte, r.length));
    EXPECT_TRUE(store.Read(r.offset, r.length).empty());
    EXPECT_FALSE(store.Erase(r.offset, r.length));
    EXPECT_FALSE(store.Blank(r.offset, r.length));
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
  struct Case {
    const char* what;
    uint8_t method;
    Medium medium;
    Bytes head;
    uint32_t length;
  };
  const uint32_t spiSize = 2 * kPage;
  const uint32_t norSize = 4u << 20;
  const Case cases[] = {
      {"system image without its boot header", 3, Medium::kNand, ImageHead(60, 0, 100000, 0, "sys", 3, 0, 0),
       100000},
      // Image 1 sits at blocks 4 to 6.
      {"image over image 1", 3, Medium::kNand, ImageHead(60, 0, 100000, 2, "b", 0, 0, 2), 100000},
      {"image past the end of the SPI flash", 5, Medium::kSpi,
       ImageHead(60, 0, 70000, 4, "c", 0, 0, spiSize / 65536 - 1), 70000},
      {"raw SPI data longer than the flash", 6, Medium::kSpi, RawHead(0, spiSize + 1, 0), spiSize + 1},
      {"raw NOR data past the end", 2, Medium::kNor, RawHead(0, 40, norSize - 20), 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeClock clock;
    BoardOptions o = BoardOn(BoardKind::kQuen, &clock);
    o.spiSizeBytes = spiSize;
    o.norSizeBytes = norSize;
    VirtualBoard board(o);
    ASSERT_TRUE(board.PutImage(Medium::kNand, Entry(1, "a", 4), Pattern(40000, 1)));
    ASSERT_TRUE(board.PutImage(Medium::kSpi, Entry(2, "s", 1), Pattern(70000, 2)));
    const uint64_t window = c.medium == Medium::kNor ? norSize : spiSize;
    const Bytes before = board.Flash(c.medium, 0, static_cast<uint32_t>(window));
    const auto table = board.Table(c.medium);
    Disk disk(board.OpenDisk());
    ASSERT_TRUE(disk.Head(0, c.method, c.head));
    Bytes stream = Pattern(c.length, 9);
    ASSERT_TRUE(disk.Send(0, stream)) << "a refused write still takes its data";
    clock.Advance(1000);
    EXPECT_EQ(disk.Status(3), 1u);
    EXPECT_EQ(board.Flash(c.medium, 0, static_cast<uint32_t>(window)), before);
    EXPECT_EQ(board.Table(c.medium), table);
  }
}

TEST(DiskWritePath, ImageReplacedAtAnotherPlaceAcrossPages) {
  FakeClock clock;
  BoardOptions o = BoardOn(BoardKind::kRast, &clock);
  o.spiSizeBytes = 8u << 20;
  VirtualBoard board(o);
  Disk disk(board.OpenDisk());
  const uint32_t bank = 65536;
  // From bank 20 over 3 MiB: across page boundaries, in chunks of an odd size.
  const Bytes first = Pattern((3u << 20) + 3, 4);
  ASSERT_TRUE(disk.Head(0, 5, ImageHead(60, 0, static_cast<uint32_t>(first.size()), 5, "x", 1, 0, 20)));
  ASSERT_TRUE(disk.Send(0, first, 65535));
  clock.Advance(1000);
  ASSERT_EQ(disk.Status(3), 0u);
  EXPECT_EQ(board.ImageData(Medium::kSpi, 5), first);

  // Again at bank 40, shorter: what the old image held outside the new one reads erased.
  const Bytes second = Pattern(1u << 20, 6);
  ASSERT_TRUE(disk.Head(0, 5, ImageHead(60, 0, static_cast<uint32_t>(second.size()), 5, "y", 1, 0, 40)));
  ASSERT_TRUE(disk.Send(0, second));
  clock.Advance(1000);
  ASSERT_EQ(disk.Status(3), 0u);
  ASSERT_EQ(board.Table(Medium::kSpi).size(), 1u);
  EXPECT_EQ(board.FindImage(Medium::kSpi, 5)->start, 40u);
  EXPECT_EQ(board.ImageData(Medium::kSpi, 5), second);
  EXPECT_EQ(board.Flash(Medium::kSpi, 20 * bank, 20 * bank), Bytes(20 * bank, 0xFF));
  const uint64_t after = 40 * bank + second.size();
  EXPECT_EQ(board.Flash(Medium::kSpi, after, static_cast<uint32_t>(20 * bank + first.size() - after)),
            Bytes(20 * bank + first.size() - after, 0xFF));
}

TEST(DiskWritePath, UnfinishedImageLeavesNoEntry) {
  struct Case {
    const char* what;
    bool replacesAnImage;
    bool vanishes;  // else a new head ends the write
  };
  const Case cases[] = {
      {"new image, then another head", false, false},
      {"replacing image, then another head", true, false},
      {"new image, then the disk vanishes", false, true},
      {"replacing image, then the disk vanishes", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeClock clock;
    VirtualBoard board(BoardOn(BoardKind::kQuen, &clock));
    const Bytes other = Pattern(30000, 8);
    ASSERT_TRUE(board.PutImage(Medium::kSpi, Entry(9, "keep", 60), other));
    if (c.replacesAnImage) {
      ASSERT_TRUE(board.PutImage(Medium::kSpi, Entry(3, "old", 2), Pattern(1000, 1)));
    }
    if (c.vanishes) board.InjectFault({FaultKind::kDisconnectAtChunk, Operation::kBurn, Medium::kSpi, 2, 0});
    Disk disk(board.OpenDisk());
    const Bytes image = Pattern(3 * 65536, 7);
    ASSERT_TRUE(disk.Head(0, 5, ImageHead(60, 0, static_cast<uint32_t>(image.size()), 3, "new", 1, 0, 2)));
    ASSERT_TRUE(disk.Send(0, Bytes(image.begin(), image.begin() + 65536)));
    EXPECT_EQ(disk.Send(0, Bytes(image.begin() + 65536, image.end() - 65536)), !c.vanishes);
    if (!c.vanishes) {
      ASSERT_TRUE(disk.Head(0, 5, ImageHead(60, 3, 0, 9, "", 0, 0, 0)));
    }
    EXPECT_FALSE(board.FindImage(Medium::kSpi, 3));
    EXPECT_EQ(board.ImageData(Medium::kSpi, 9), other);
    if (c.vanishes) continue;
    // The next burn of that number starts afresh.
    ASSERT_TRUE(disk.Head(0, 5, ImageHead(60, 0, static_cast<uint32_t>(image.size()), 3, "new", 1, 0, 2)));
    ASSERT_TRUE(disk.Send(0, image));
    clock.Advance(1000);
    EXPECT_EQ(disk.Status(3), 0u);
    EXPECT_EQ(board.ImageData(Medium::kSpi, 3), image);
  }
}

}  // namespace
}  // namespace zorbel::sim::test
