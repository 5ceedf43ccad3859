// The board's disk, driven with raw command blocks.
#include <gtest/gtest.h>

#include "board_test_util.h"
#include "standin_files.h"
#include "virtual_board.h"

namespace zorbel::sim::test {
namespace {

const uint32_t kDelay = BoardOptions{}.reenumerateDelayMs;

Disk OpenCurrent(VirtualBoard& board) {
  auto volumes = board.Bus().FindVolumesForDevice(DeviceId(board.ProductId()));
  if (volumes.size() != 1) return Disk(nullptr);
  uint32_t error = 0;
  return Disk(board.Bus().OpenVolume(volumes[0], &error));
}

// The first-stage part of the boot sequence; true when every command was taken.
bool BootFirstStage(Disk& disk, BoardKind kind, uint32_t address, const Bytes& stage) {
  bool ok = disk.In(BootCdb('Q', 1), 3583).has_value();
  ok = ok && disk.In(BootCdb('R', 0xB8001000), 3583) && disk.In(BootCdb('S', 0x00010203), 3583);
  ok = ok && disk.In(BootCdb('U', address), 3583);
  // The stage length travels in 16 bits: 65536 as 0.
  ok = ok && disk.Out(BootCdb('r', static_cast<uint32_t>(stage.size() & 0xFFFF)), stage);
  if (kind == BoardKind::kOlder) return ok && disk.In(BootCdb(0x60), 8).has_value();
  return ok && disk.None(BootCdb(0x60));
}

Bytes FirstStage(BoardKind kind, uint32_t length) {
  return MakeStage(kFirstStageTag, length, FamilyLoadAddress(kind), kind);
}

struct FamilyCase {
  BoardKind kind;
  const char* bootId;
  const char* loaderId;
};

class FamilyBoot : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(FamilyBoot, BootDiskBecomesLoaderDiskAfterTheDelay) {
  FakeClock clock;
  VirtualBoard board(BoardOn(GetParam().kind, &clock, false));
  ASSERT_EQ(board.ProductId(), GetParam().bootId);
  Disk boot = OpenCurrent(board);
  ASSERT_TRUE(boot.ok());
  ASSERT_TRUE(BootFirstStage(boot, GetParam().kind, FamilyLoadAddress(GetParam().kind),
                             FirstStage(GetParam().kind, 4000)));
  EXPECT_EQ(board.ProductId(), "");  // away while it re-enumerates
  clock.Advance(kDelay - 1);
  EXPECT_TRUE(board.Bus().FindVolumesForDevice(DeviceId(GetParam().loaderId)).empty());
  clock.Advance(1);
  EXPECT_EQ(board.ProductId(), GetParam().loaderId);
  // Case does not matter, and a prefix of the device ID finds it too.
  EXPECT_EQ(board.Bus().FindVolumesForDevice(std::string("usb\\vid_7c3a&pid_") + GetParam().loaderId).size(),
            1u);
  EXPECT_FALSE(boot.Status(3).has_value()) << "a handle of the boot disk outlives the re-enumeration";
  EXPECT_EQ(boot.LastError(), 1167u);
  Disk loader = OpenCurrent(board);
  ASSERT_TRUE(loader.ok());
  EXPECT_EQ(loader.Status(3), 0u);
  EXPECT_EQ(board.LoadAddress(), FamilyLoadAddress(GetParam().kind));
  EXPECT_EQ(board.RegisterWrites(), (std::vector<BoardRegisterWrite>{{'R', 0xB8001000}, {'S', 0x00010203}}));
  EXPECT_TRUE(board.ProtocolErrors().empty());
}

INSTANTIATE_TEST_SUITE_P(Families, FamilyBoot,
                         ::testing::Values(FamilyCase{BoardKind::kQuen, "6E22", "6E21"},
                                           FamilyCase{BoardKind::kRast, "6E32", "6E31"},
                                           FamilyCase{BoardKind::kPilk, "6E12", "6E11"}));

TEST(OlderBoot, GoesThroughTheIntermediateDiskToTheLoaderDisk) {
  FakeClock clock;
  VirtualBoard board(BoardOn(BoardKind::kOlder, &clock, false));
  Bytes file = MakeDiskLoader(BoardKind::kOlder, 12288, 70000);
  Bytes first(file.begin() + 16, file.begin() + 16 + 12288);
  Bytes second(file.begin() + 16 + 12288, file.end());
  Disk boot = OpenCurrent(board);
  ASSERT_EQ(board.ProductId(), "B190");
  ASSERT_TRUE(BootFirstStage(boot, BoardKind::kOlder, kOlderLoadAddress, first));
  clock.Advance(kDelay);
  ASSERT_EQ(board.ProductId(), "B191");
  Disk mid = OpenCurrent(board);
  EXPECT_FALSE(mid.Status(3).has_value()) << "the first stage only takes the second stage";
  ASSERT_TRUE(mid.Head(0, 0, RawHead(1, static_cast<uint32_t>(second.size()), 0x00E00000)));
  ASSERT_TRUE(mid.Send(0, second));
  clock.Advance(kDelay);
  EXPECT_EQ(board.ProductId(), "B192");
  EXPECT_EQ(board.Sdram(0x00E00000, 64), Bytes(second.begin(), second.begin() + 64));
}

TEST(BootRefusal, AWrongFirstStageKeepsTheBootStage) {
  const uint32_t quen = FamilyLoadAddress(BoardKind::kQuen);
  Bytes wrongTag = FirstStage(BoardKind::kQuen, 2048);
  wrongTag[0] = 'X';
  struct Case {
    const char* what;
    uint32_t loadAddress;
    Bytes stage;
    int rLength;  // -1: the stage's own length
  };
  const Case cases[] = {
      {"wrong magic", quen, wrongTag, -1},
      {"another chip's loader", quen, MakeStage(kFirstStageTag, 2048, quen, BoardKind::kRast), -1},
      {"loaded at the wrong address", 0xFFE76000, FirstStage(BoardKind::kQuen, 2048), -1},
      {"command block length differs from the data", quen, FirstStage(BoardKind::kQuen, 2048), 2047},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeClock clock;
    VirtualBoard board(BoardOn(BoardKind::kQuen, &clock, false));
    Disk disk = OpenCurrent(board);
    ASSERT_TRUE(disk.In(BootCdb('U', c.loadAddress), 3583));
    const size_t n = c.rLength < 0 ? c.stage.size() : static_cast<size_t>(c.rLength);
    EXPECT_FALSE(disk.Out(BootCdb('r', static_cast<uint32_t>(n & 0xFFFF)), c.stage));
    EXPECT_FALSE(disk.None(BootCdb(0x60))) << "run without a first stage";
    clock.Advance(kDelay * 10);
    EXPECT_EQ(board.ProductId(), "6E22");
    EXPECT_FALSE(board.ProtocolErrors().empty());
  }
}

TEST(FamilyBootEdges, FirstStageOf65536BytesTravelsWithZeroLength) {
  FakeClock clock;
  VirtualBoard board(BoardOn(BoardKind::kPilk, &clock, false));
  Disk disk = OpenCurrent(board);
  ASSERT_TRUE(BootFirstStage(disk, BoardKind::kPilk, FamilyLoadAddress(BoardKind::kPilk),
                             FirstStage(BoardKind::kPilk, 65536)));
  clock.Advance(kDelay);
  EXPECT_EQ(board.ProductId(), "6E11");
  EXPECT_EQ(board.LastLoader().size(), 65536u);
}

TEST(FamilyBootEdges, RunIsTakenOnlyWithoutDataAndWithTheBootStageMark) {
  FakeClock clock;
  VirtualBoard board(BoardOn(BoardKind::kRast, &clock, false));
  Disk disk = OpenCurrent(board);
  ASSERT_TRUE(disk.In(BootCdb('U', FamilyLoadAddress(BoardKind::kRast)), 3583));
  ASSERT_TRUE(disk.Out(BootCdb('r', 512), FirstStage(BoardKind::kRast, 512)));
  EXPECT_FALSE(disk.In(BootCdb(0x60), 8).has_value()) << "a data phase, as the older chip has";
  Cdb bare{};
  bare[0] = 0x60;
  EXPECT_FALSE(disk.None(bare));
  clock.Advance(kDelay);
  EXPECT_EQ(board.ProductId(), "6E32");
  EXPECT_TRUE(disk.None(BootCdb(0x60)));
  clock.Advance(kDelay);
  EXPECT_EQ(board.ProductId(), "6E31");
}

// ---------------------------------------------------------------- loader stage

struct BurnCase {
  BoardKind kind;
  size_t headSize;
  Medium medium;
  uint8_t method;
  uint8_t unit;
  uint32_t start;
  uint32_t length;
  uint32_t unitBytes;
};

class ImageBurn : public ::testing::TestWithParam<BurnCase> {};

TEST_P(ImageBurn, LandsInTheTableAndVerifiesBack) {
  const BurnCase& c = GetParam();
  FakeClock clock;
  VirtualBoard board(BoardOn(c.kind, &clock));
  Disk disk(board.OpenDisk());
  Bytes image = Pattern(c.length, 0x31);
  ASSERT_TRUE(disk.Head(
      c.unit, c.method,
      ImageHead(c.headSize, 0, c.length, 7, "a-rather-long-image-name-of-32ch", 1, 0x8000, c.start)));
  ASSERT_TRUE(disk.Send(c.unit, image));
  clock.Advance(1000);
  EXPECT_EQ(disk.Status(3), 0u);

  auto entry = board.FindImage(c.medium, 7);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->start, c.start);
  EXPECT_EQ(entry->end, c.start + (c.length + c.unitBytes - 1) / c.unitBytes - 1);
  EXPECT_EQ(board.Flash(c.medium, uint64_t{c.start} * c.unitBytes, c.length), image);

  // The table as the disk sends it.
  uint8_t code = c.medium == Medium::kNand ? 1 : c.medium == Medium::kSpi ? 2 : 3;
  auto count = disk.In(LoaderCdb('b', c.unit, code, 0), 4);
  ASSERT_TRUE(count);
  ASSERT_EQ(Get32(count->data()), 1u);
  auto table = disk.In(LoaderCdb('b', c.unit, code, 1), static_cast<uint32_t>(c.headSize));
  ASSERT_TRUE(table);
  size_t nameWidth = c.headSize == 60 ? 32 : 16;
  EXPECT_EQ(Get32(&(*table)[8]), 7u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&(*table)[12]), nameWidth),
            std::string("a-rather-long-image-name-of-32ch").substr(0, nameWidth));
  EXPECT_EQ(Get32(&(*table)[12 + nameWidth]), 1u);
  EXPECT_EQ(Get32(&(*table)[16 + nameWidth]), entry->end);
  EXPECT_EQ(Get32(&(*table)[20 + nameWidth]), c.start);

  ASSERT_TRUE(disk.Head(c.unit, c.method, ImageHead(c.headSize, 3, 0, 7, "", 0, 0, 0)));
  EXPECT_EQ(disk.Fetch(c.unit, c.length), image);
  EXPECT_FALSE(disk.In(LoaderCdb('d', c.unit, 0), 1)) << "read past the image";
  EXPECT_EQ(board.ProtocolErrors().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Media, ImageBurn,
    ::testing::Values(BurnCase{BoardKind::kQuen, 60, Medium::kNand, 3, 0, 4, 100000, 16384},
                      BurnCase{BoardKind::kOlder, 44, Medium::kNand, 3, 0, 1, 65537, 16384},
                      BurnCase{BoardKind::kRast, 60, Medium::kSpi, 5, 0, 2, 65536, 65536},
                      BurnCase{BoardKind::kPilk, 60, Medium::kSd, 7, 3, 0x22, 1, 512}));

TEST(SystemImage, BootHeaderIsCheckedBeforeTheImageIsStored) {
  auto header32 = [](uint32_t imageLength) {
    Bytes h(32, 0);
    Put32(&h[0], 0x514B5AA5);
    Put32(&h[4], 0x30000000);
    Put32(&h[8], imageLength);
    Put32(&h[12], 0xA55A4B51);
    return h;
  };
  Bytes noMagic = header32(100000);
  noMagic[12] = 0;
  Bytes registerList(48, 0);  // n = 3: 24 + 24 = 48
  Put32(&registerList[0], 0x514B5AA5);
  Put32(&registerList[8], 100000);
  Put32(&registerList[16], 0xAA55AA55);
  Put32(&registerList[20], 3);
  struct Case {
    const char* what;
    BoardKind kind;
    uint8_t method;
    Medium medium;
    Bytes header;
    uint32_t status;
  };
  const Case cases[] = {
      {"valid", BoardKind::kQuen, 3, Medium::kNand, header32(100000), 0},
      {"length differs", BoardKind::kQuen, 3, Medium::kNand, header32(99999), 1},
      {"second magic missing", BoardKind::kQuen, 3, Medium::kNand, noMagic, 1},
      {"no header", BoardKind::kQuen, 3, Medium::kNand, Bytes(), 1},
      {"register list of a family-two board", BoardKind::kRast, 5, Medium::kSpi, registerList, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeClock clock;
    VirtualBoard board(BoardOn(c.kind, &clock));
    Disk disk(board.OpenDisk());
    Bytes stream = c.header;
    const Bytes image = Pattern(100000, 0x55);
    stream.insert(stream.end(), image.begin(), image.end());
    ASSERT_TRUE(
        disk.Head(0, c.method, ImageHead(60, 0, static_cast<uint32_t>(stream.size()), 0, "sys", 3, 0, 0)));
    ASSERT_TRUE(disk.Send(0, stream));
    clock.Advance(1000);
    EXPECT_EQ(disk.Status(3), c.status);
    if (c.status == 0) {
      EXPECT_EQ(board.ImageData(c.medium, 0), stream);
    } else {
      EXPECT_FALSE(board.FindImage(c.medium, 0));
    }
  }
}

TEST(LoaderRefusal, CommandFails) {
  struct Refusal {
    const char* what;
    Cdb cdb;
    Bytes out;            // sent to the board
    uint32_t readLength;  // or, when not zero, read from it
    BoardKind kind = BoardKind::kQuen;
  };
  const Refusal cases[] = {
      {"44-byte head on a family board", LoaderCdb('a', 0, 3), ImageHead(44, 0, 10, 1, "x", 0, 0, 1), 0},
      {"60-byte burn head on the older chip", LoaderCdb('a', 0, 3), ImageHead(60, 0, 10, 1, "x", 0, 0, 1), 0,
       BoardKind::kOlder},
      {"SD head with unit 0", LoaderCdb('a', 0, 7), ImageHead(60, 0, 10, 1, "x", 0, 0, 0x22), 0},
      {"NAND head with unit 3", LoaderCdb('a', 3, 3), ImageHead(60, 0, 10, 1, "x", 0, 0, 1), 0},
      {"raw head of 16 bytes", LoaderCdb('a', 0, 6), Bytes(16, 0), 0},
      {"SDRAM head with command 0", LoaderCdb('a', 0, 0), RawHead(0, 100, 0x8000), 0},
      {"raw SPI verify with a length", LoaderCdb('a', 0, 6), RawHead(3, 100, 0), 0},
      {"method 4 over the disk", LoaderCdb('a', 0, 4), RawHead(0, 100, 0), 0},
      {"chunk without a head", LoaderCdb('c', 0, 0), Bytes(10, 0), 0},
      {"file data without a head", LoaderCdb('d', 0, 0), Bytes(), 10},
      {"status selector 6 read with 4 bytes", LoaderCdb('e', 0, 6), Bytes(), 4},
      {"status selector 3 read with 5 bytes", LoaderCdb('e', 0, 3), Bytes(), 5},
      {"reserved size with its upper bytes", LoaderCdb('f', 0, 0), Bytes{0x70, 0x11, 0x01, 0x00}, 0},
      {"format flag of 4 bytes", LoaderCdb('f', 0, 4), Bytes{1, 0, 0, 0}, 0},
      {"SD port 3", LoaderCdb('f', 0, 5), Bytes{3, 0}, 0},
      {"table of medium 4", LoaderCdb('b', 0, 4, 0), Bytes(), 4},
      {"SD table with unit 0", LoaderCdb('b', 0, 3, 0), Bytes(), 4},
      {"boot command in the loader stage", BootCdb('Q', 1), Bytes(), 3583},
  };
  for (const auto& r : cases) {
    SCOPED_TRACE(r.what);
    VirtualBoard board(BoardOn(r.kind));
    Disk disk(board.OpenDisk());
    EXPECT_FALSE(r.readLength != 0 ? disk.In(r.cdb, r.readLength).has_value() : disk.Out(r.cdb, r.out));
    EXPECT_EQ(board.ProtocolErrors().size(), 1u);
  }
}

TEST(LoaderChunks, ChunkLongerThanAnnouncedFailsAndOneByteTravelsAsTwo) {
  VirtualBoard board(BoardOn(BoardKind::kQuen));
  Disk disk(board.OpenDisk());
  ASSERT_TRUE(disk.Head(0, 6, RawHead(0, 65537, 0)));
  ASSERT_TRUE(disk.Out(LoaderCdb('c', 0, 0), Pattern(65536, 1)));
  EXPECT_FALSE(disk.Out(LoaderCdb('c', 0, 0), Bytes(3, 0))) << "3 bytes where 1 remains";
  EXPECT_TRUE(disk.Out(LoaderCdb('c', 0, 0), Bytes{0x5A, 0x00}));
  EXPECT_EQ(board.Flash(Medium::kSpi, 65535, 3), (Bytes{Pattern(65536, 1).back(), 0x5A, 0xFF}));
  EXPECT_FALSE(disk.Out(LoaderCdb('c', 0, 0), Bytes{1, 0})) << "the write is complete";
}

TEST(LoaderStatus, SelectorsAnswerTheBoardsGeometry) {
  BoardOptions o = BoardOn(BoardKind::kQuen);
  o.nandBlockCount = 2048;
  o.nandBlockSizeCode = 2;
  o.sdSizeMb = {256, 0, 64};
  VirtualBoard board(o);
  Disk disk(board.OpenDisk());
  EXPECT_EQ(disk.Status(0), 2048u);
  EXPECT_EQ(disk.Status(4), 256u);  // 2048 x 128 KB
  EXPECT_EQ(disk.Status(5), 256u);
  auto id = disk.In(LoaderCdb('e', 0, 6), 5);
  ASSERT_TRUE(id);
  EXPECT_EQ(*id, Bytes(o.nandId.begin(), o.nandId.end()));

  // Port 1 has no card; port 2 has a smaller one.
  ASSERT_TRUE(disk.Out(LoaderCdb('f', 0, 5), Bytes{1, 0}));
  EXPECT_FALSE(disk.Status(5).has_value());
  ASSERT_TRUE(disk.Out(LoaderCdb('f', 0, 5), Bytes{2, 0}));
  EXPECT_EQ(disk.Status(5), 64u);
  EXPECT_TRUE(disk.In(LoaderCdb('b', 3, 3, 2), 4));
  EXPECT_EQ(board.SdPort(), 2);
}

TEST(LoaderParameters, ReservedSizesIdParametersAndFormatFlag) {
  VirtualBoard board(BoardOn(BoardKind::kQuen));
  Disk disk(board.OpenDisk());
  ASSERT_TRUE(disk.Out(LoaderCdb('f', 0, 0), Bytes{0x10, 0, 0, 0}));
  EXPECT_EQ(disk.Status(3), 0u);
  EXPECT_EQ(board.NandReservedMb(), 16u);
  ASSERT_TRUE(disk.Out(LoaderCdb('f', 0, 0), Bytes{0x70, 0x11, 0, 0}));  // 4464 MB: more than the NAND holds
  EXPECT_EQ(disk.Status(3), 1u);
  EXPECT_EQ(board.NandReservedMb(), 16u);
  ASSERT_TRUE(disk.Out(LoaderCdb('f', 0, 2), Bytes{0x00, 0x08, 0, 0}));
  ASSERT_TRUE(disk.Out(LoaderCdb('f', 0, 3), Bytes{0x40, 0, 0, 0}));
  EXPECT_EQ(board.NandIdParameters(), (std::array<uint32_t, 2>{2048, 64}));
  ASSERT_TRUE(disk.Out(LoaderCdb('f', 0, 4), Bytes{1, 0}));
  EXPECT_TRUE(board.SdFormatRequested());
  ASSERT_TRUE(disk.Out(LoaderCdb('f', 0, 1), Bytes{0x00, 0x02, 0, 0}));
  EXPECT_EQ(board.SdReservedMb(), 512u);
}

TEST(LoaderErase, NandRangesSpiWholeFlashAndOneImage) {
  BoardOptions o = BoardOn(BoardKind::kOlder);
  o.nandBlockCount = 1000;
  o.spiEraseBusyPolls = 2;
  VirtualBoard board(o);
  ASSERT_TRUE(board.PutImage(Medium::kNand, Entry(1, "a", 10), Pattern(100, 1)));
  ASSERT_TRUE(board.PutImage(Medium::kNand, Entry(2, "b", 300), Pattern(100, 2)));
  ASSERT_TRUE(board.PutImage(Medium::kNand, Entry(3, "c", 900), Pattern(100, 3)));
  ASSERT_TRUE(board.PutImage(Medium::kSpi, Entry(1, "s", 1), Pattern(100, 4)));
  Disk disk(board.OpenDisk());

  // A 60-byte erase-by-range head in the 44-byte layout: last block at 32, first at 36.
  Bytes range = ImageHead(44, 2, 0, 0xFFFFFFFF, "", 0, 511, 256);
  range.resize(60, 0);
  ASSERT_TRUE(disk.Head(0, 3, range));
  EXPECT_EQ(disk.Status(3), 0u);
  EXPECT_TRUE(board.FindImage(Medium::kNand, 1));
  EXPECT_FALSE(board.FindImage(Medium::kNand, 2));
  Bytes last = ImageHead(44, 2, 0, 0xFFFFFFFF, "", 0, 1023, 768);
  last.resize(60, 0);
  ASSERT_TRUE(disk.Head(0, 3, last));  // names blocks past the end: the board erases what exists
  EXPECT_FALSE(board.FindImage(Medium::kNand, 3));

  ASSERT_TRUE(disk.Head(0, 3, ImageHead(44, 2, 0, 1, "", 0, 0, 0)));
  EXPECT_TRUE(board.Table(Medium::kNand).empty());
  ASSERT_TRUE(disk.Head(0, 3, ImageHead(44, 2, 0, 1, "", 0, 0, 0)));
  EXPECT_EQ(disk.Status(3), 1u) << "erasing an image that is not there";

  ASSERT_TRUE(disk.Head(0, 5, ImageHead(44, 2, 0, 0xFFFFFFFF, "", 0, 0, 0)));
  EXPECT_NE(disk.Status(2), 0u);
  EXPECT_NE(disk.Status(2), 0u);
  EXPECT_EQ(disk.Status(2), 0u);
  EXPECT_TRUE(board.Table(Medium::kSpi).empty());
}

TEST(LoaderModify, ChangesTheTypeOrReportsAMissingImage) {
  VirtualBoard board(BoardOn(BoardKind::kQuen));
  ASSERT_TRUE(board.PutImage(Medium::kNand, Entry(4, "m", 2, 0), Pattern(10, 1)));
  Disk disk(board.OpenDisk());
  ASSERT_TRUE(disk.Head(0, 3, ImageHead(60, 1, 0, 4, "", 2, 0, 0)));
  EXPECT_EQ(disk.Status(3), 0u);
  EXPECT_EQ(board.FindImage(Medium::kNand, 4)->type, 2u);
  ASSERT_TRUE(disk.Head(0, 3, ImageHead(60, 1, 0, 5, "", 2, 0, 0)));
  EXPECT_EQ(disk.Status(3), 1u);
}

TEST(LoaderBurn, OverlappingImageIsRefused) {
  FakeClock clock;
  VirtualBoard board(BoardOn(BoardKind::kQuen, &clock));
  ASSERT_TRUE(board.PutImage(Medium::kNand, Entry(1, "a", 4), Pattern(40000, 1)));
  Disk disk(board.OpenDisk());
  ASSERT_TRUE(disk.Head(0, 3, ImageHead(60, 0, 10, 2, "b", 0, 0, 6)));  // block 6 is image 1's third block
  ASSERT_TRUE(disk.Send(0, Pattern(10, 2)));
  clock.Advance(1000);
  EXPECT_EQ(disk.Status(3), 1u);
  EXPECT_FALSE(board.FindImage(Medium::kNand, 2));
  EXPECT_EQ(board.ImageData(Medium::kNand, 1), Pattern(40000, 1));
}

TEST(LoaderDownload, SdramOverTheDisk) {
  VirtualBoard board(BoardOn(BoardKind::kQuen));
  Disk disk(board.OpenDisk());
  Bytes file = Pattern(70000, 9);
  ASSERT_TRUE(disk.Head(0, 0, RawHead(1, 70000, 0x8000)));
  ASSERT_TRUE(disk.Send(0, file));
  EXPECT_EQ(board.Sdram(0x8000, 70000), file);
}

}  // namespace
}  // namespace zorbel::sim::test
