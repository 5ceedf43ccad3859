// The board's COM port, driven with raw bytes on the pseudo-terminal slave.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "board_test_util.h"
#include "rom/rom_test_support.h"
#include "serial_line_posix.h"
#include "standin_files.h"
#include "virtual_board.h"

namespace zorbel::sim::test {
namespace {

// A COM-port board and the test's end of its line.
template <bool kLoaderStage>
class VcomBoard : public ::testing::Test {
 protected:
  FakeClock clock;
  VirtualBoard board{BoardOn(BoardKind::kVcom, &clock, kLoaderStage)};
  Line line{board.PtyPath()};
};
using SerialBoard = VcomBoard<true>;

// What the tool sends: the start record, then the announced length from just
// after the header, in chunks. The acknowledgements received.
std::vector<uint32_t> SendLoader(Line& line, const Bytes& file) {
  Bytes start;
  Append32(start, static_cast<uint32_t>(file.size()));
  Append32(start, Get32(&file[4]));
  line.Write(start);
  Bytes rest(file.begin() + 16, file.end());
  rest.resize(file.size(), 0);
  return line.SendChunks(rest);
}

class LoaderStream : public VcomBoard<false>, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(LoaderStream, IsAcknowledgedChunkByChunkAndStartsTheLoader) {
  std::vector<McuPort> ports;
  ASSERT_TRUE(board.Bus().EnumerateMcuPorts(ports));
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].description, "Velmora ARM 926-Based MCU Ports");
  EXPECT_EQ(ports[0].path, board.PtyPath());
  ASSERT_TRUE(line.ok());
  Bytes file = MakeSerialLoader(GetParam());
  std::vector<uint32_t> acks = SendLoader(line, file);
  std::vector<uint32_t> expected(file.size() / 4096, 4096);
  if (file.size() % 4096) expected.push_back(file.size() % 4096);
  EXPECT_EQ(acks, expected);
  EXPECT_EQ(line.Choose(4), 1) << "the loader answers once it runs";
  EXPECT_EQ(board.CurrentStage(), Stage::kLoader);
  EXPECT_EQ(board.LastLoader(), Bytes(file.begin() + 16, file.end()));
  EXPECT_TRUE(board.ProtocolErrors().empty());
}

// A file of 4096 x 3 bytes has no remainder chunk; 20000 has one.
INSTANTIATE_TEST_SUITE_P(Lengths, LoaderStream, ::testing::Values(4096 * 3 - 16, 20000));

class LoaderStreamRefusal : public VcomBoard<false> {};

TEST_F(LoaderStreamRefusal, WrongMagicKeepsTheBootStage) {
  Bytes file = MakeSerialLoader(5000);
  file[16] = 'Y';
  EXPECT_EQ(SendLoader(line, file).size(), 2u);
  // Still the boot code: a flash-method request is not understood.
  line.Write({0xB0, 0x84});
  EXPECT_TRUE(line.Read(2, 300).size() < 2);
  EXPECT_EQ(board.CurrentStage(), Stage::kBoot);
  EXPECT_FALSE(board.ProtocolErrors().empty());
}

TEST_F(LoaderStreamRefusal, DisconnectAtChunkClosesThePort) {
  board.InjectFault({FaultKind::kDisconnectAtChunk, Operation::kLoaderStream, Medium::kAny, 2, 0});
  EXPECT_EQ(SendLoader(line, MakeSerialLoader(20000)), (std::vector<uint32_t>{4096}));
  EXPECT_EQ(board.CurrentStage(), Stage::kGone);
  std::vector<McuPort> ports;
  board.Bus().EnumerateMcuPorts(ports);
  EXPECT_TRUE(ports.empty());
}

struct MethodAnswer {
  uint8_t code;
  uint8_t method;
  uint8_t answer;
};

class ChooseMethod : public ::testing::TestWithParam<MethodAnswer> {};

TEST_P(ChooseMethod, AnswersTheBlockSizeCodeForMethodFour) {
  FakeClock clock;
  BoardOptions o = BoardOn(BoardKind::kVcom, &clock);
  o.nandBlockSizeCode = GetParam().code;
  VirtualBoard board(o);
  Line line(board.PtyPath());
  EXPECT_EQ(line.Choose(GetParam().method), GetParam().answer);
  EXPECT_EQ(board.LastMethod(), GetParam().method);
}

INSTANTIATE_TEST_SUITE_P(Codes, ChooseMethod,
                         ::testing::Values(MethodAnswer{1, 4, 1}, MethodAnswer{2, 4, 2},
                                           MethodAnswer{3, 4, 3}, MethodAnswer{3, 3, 1},
                                           MethodAnswer{2, 0, 1}));

Bytes Head60(uint32_t command, uint32_t length, uint32_t number, uint32_t type, uint32_t start) {
  return ImageHead(60, command, length, number, "image", type, 0x8000, start);
}

struct SerialBurn {
  uint8_t method;
  uint8_t tableMethod;
  Medium medium;
  uint32_t start;
  uint32_t length;
};

class SerialImageBurn : public SerialBoard, public ::testing::WithParamInterface<SerialBurn> {};

TEST_P(SerialImageBurn, ProgramsInStepsAndShowsInTheTableAndVerify) {
  const SerialBurn& c = GetParam();
  Bytes image = Pattern(c.length, 0x42);
  ASSERT_EQ(line.Start(c.method, Head60(0, c.length, 3, 1, c.start)), c.length) << "head acknowledgement";
  std::vector<uint32_t> acks = line.SendChunks(image);
  ASSERT_EQ(acks.size(), (c.length + 4095) / 4096);
  EXPECT_EQ(line.StatusWords(0xFF), (std::vector<uint32_t>{25, 50, 75, 100}));
  EXPECT_EQ(board.ImageData(c.medium, 3), image);

  line.Choose(c.tableMethod);
  auto count = line.Word();
  ASSERT_EQ(count, 1u);
  Bytes entry = line.Read(60);
  ASSERT_EQ(entry.size(), 60u);
  EXPECT_EQ(Get32(&entry[8]), 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&entry[12])), "image");
  EXPECT_EQ(Get32(&entry[44]), 1u);
  EXPECT_EQ(Get32(&entry[52]), c.medium == Medium::kNor ? 0x8000u : c.start) << "NOR: flash address";

  ASSERT_TRUE(line.Start(c.method, Head60(3, c.length, 3, 0, 0)));
  EXPECT_EQ(line.Verify(c.length, &image), image);
  EXPECT_TRUE(board.ProtocolErrors().empty());
}

INSTANTIATE_TEST_SUITE_P(Media, SerialImageBurn,
                         ::testing::Values(SerialBurn{3, 8, Medium::kNand, 2, 10000},
                                           SerialBurn{5, 9, Medium::kSpi, 1, 8192},
                                           SerialBurn{1, 7, Medium::kNor, 0x8000, 4097}));

TEST(SerialNor, DeviceTextThenTable) {
  FakeClock clock;
  BoardOptions o = BoardOn(BoardKind::kVcom, &clock);
  o.norDeviceText = "NOR-16-CHARS-LONG";
  VirtualBoard board(o);
  Line line(board.PtyPath());
  line.Choose(10);
  EXPECT_EQ(line.Read(16), Bytes(o.norDeviceText.begin(), o.norDeviceText.begin() + 16));
  line.Choose(7);
  EXPECT_EQ(line.Word(), 0u);
}

TEST_F(SerialBoard, EraseReportsStepsThenModifyAnswersOnce) {
  ASSERT_TRUE(board.PutImage(Medium::kSpi, Entry(3, "", 1), Pattern(100, 1)));
  ASSERT_TRUE(board.PutImage(Medium::kSpi, Entry(4, "", 2), Pattern(100, 2)));
  EXPECT_EQ(line.Start(5, Head60(1, 0, 4, 2, 0)), 100u);
  EXPECT_EQ(board.FindImage(Medium::kSpi, 4)->type, 2u);
  EXPECT_EQ(line.Start(5, Head60(1, 0, 9, 2, 0)), 0x00010000u) << "modify of a missing image";
  line.Choose(5);
  line.Write(Head60(2, 0, 3, 0, 0));
  EXPECT_EQ(line.StatusWords(0xFFFF), (std::vector<uint32_t>{25, 50, 75, 100}));
  EXPECT_FALSE(board.FindImage(Medium::kSpi, 3));
  line.Choose(5);
  line.Write(Head60(2, 0, 0xFFFFFFFF, 0, 0));
  EXPECT_EQ(line.StatusWords(0xFFFF).back(), 100u);
  EXPECT_TRUE(board.Table(Medium::kSpi).empty());
}

struct SystemAreaCase {
  uint8_t method;
  Medium medium;
  uint32_t otherStart;  // a second image, clear of the system area
  bool erased;
};

class SerialSystemAreaErase : public SerialBoard, public ::testing::WithParamInterface<SystemAreaCase> {};

TEST_P(SerialSystemAreaErase, OnlyNandHasOne) {
  ASSERT_TRUE(board.PutImage(GetParam().medium, Entry(0, "", 0, 3), Pattern(5000, 1)));
  ASSERT_TRUE(board.PutImage(GetParam().medium, Entry(2, "", GetParam().otherStart), Pattern(100, 2)));
  line.Choose(GetParam().method);
  line.Write(Head60(2, 0, 0xFFFFEEEE, 0, 0));
  std::vector<uint32_t> words = line.StatusWords(0xFFFF);
  ASSERT_FALSE(words.empty());
  EXPECT_EQ(words.back() == 100, GetParam().erased);
  EXPECT_EQ(board.FindImage(GetParam().medium, 0).has_value(), !GetParam().erased);
  EXPECT_TRUE(board.FindImage(GetParam().medium, 2));
}

INSTANTIATE_TEST_SUITE_P(Media, SerialSystemAreaErase,
                         ::testing::Values(SystemAreaCase{3, Medium::kNand, 600, true},
                                           SystemAreaCase{5, Medium::kSpi, 100, false},
                                           SystemAreaCase{1, Medium::kNor, 0x10000, false}));

struct RawNandCase {
  uint32_t romBlockSize;
  uint32_t announced;
  bool accepted;
};

class RawNandBurn : public SerialBoard, public ::testing::WithParamInterface<RawNandCase> {};

TEST_P(RawNandBurn, PlacesEveryImageAtItsStartBlockAndVerifiesTheSameBytes) {
  // The board has 16 KB blocks; the raw method takes the file without its 12-byte header.
  Bytes rom = romtest::NandFile(GetParam().romBlockSize, {1000, 20000}, 2, 3);
  rom.erase(rom.begin(), rom.begin() + 12);
  ASSERT_TRUE(line.Start(4, RawHead(0, static_cast<uint32_t>(rom.size()), GetParam().announced)));
  ASSERT_EQ(line.SendChunks(rom).size(), (rom.size() + 4095) / 4096);
  std::vector<uint32_t> words = line.StatusWords(0xFFFF);
  ASSERT_FALSE(words.empty());
  EXPECT_EQ(words.back() == 100, GetParam().accepted);
  if (!GetParam().accepted) {
    EXPECT_TRUE(board.Table(Medium::kNand).empty());
    return;
  }
  EXPECT_EQ(board.FindImage(Medium::kNand, 0)->start, 3u);
  EXPECT_EQ(board.FindImage(Medium::kNand, 1)->start, 4u);
  EXPECT_EQ(board.Flash(Medium::kNand, 4 * 16384, 20000), romtest::Pattern(20000, 1));
  ASSERT_TRUE(line.Start(4, RawHead(3, static_cast<uint32_t>(rom.size()), 2)));
  EXPECT_EQ(line.Verify(rom.size(), &rom), rom);
}

INSTANTIATE_TEST_SUITE_P(Roms, RawNandBurn,
                         ::testing::Values(RawNandCase{16384, 2, true}, RawNandCase{16384, 3, false},
                                           RawNandCase{131072, 2, false}));

TEST_F(SerialBoard, DownloadToSdramWithTheRunBit) {
  Bytes file = Pattern(4097, 5);
  ASSERT_TRUE(line.Start(0, RawHead(0, 4097, 0x80008000)));
  EXPECT_EQ(line.SendChunks(file), (std::vector<uint32_t>{4096, 1}));
  // The last ack is written after the data is kept; wait for the board to finish with it.
  for (int i = 0; i < 100 && !board.RanAddress(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(board.RanAddress(), 0x8000u);
  EXPECT_EQ(board.Sdram(0x8000, 4097), file);
}

TEST_F(SerialBoard, ShortHeadIsLoggedAndTheBoardListensAgain) {
  line.Choose(3);
  line.Write(Bytes(44, 0));  // a 44-byte head where 60 belong
  EXPECT_TRUE(line.Read(4, 1500).empty());
  EXPECT_FALSE(board.ProtocolErrors().empty());
  EXPECT_EQ(line.Choose(4), 1);
}

TEST(SerialPortClosed, ReplyLeftUnreadIsDroppedAndATransferCutOffEnds) {
  FakeClock clock;
  VirtualBoard board(BoardOn(BoardKind::kVcom, &clock));
  {
    Line first(board.PtyPath());
    ASSERT_TRUE(first.Start(5, Head60(0, 10, 1, 0, 1)));
    first.Write(Pattern(10, 1));  // the ack and the status words stay unread
    ASSERT_EQ(first.Read(4).size(), 4u);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let the board see the port close
  {
    Line second(board.PtyPath());
    EXPECT_EQ(second.Choose(4), 1) << "stale status words in front of the reply";
    ASSERT_TRUE(second.Start(3, Head60(0, 8192, 2, 0, 1)));
    second.Write(Pattern(100, 2));  // closes in the middle of the first chunk
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  Line third(board.PtyPath());
  EXPECT_EQ(third.Choose(4), 1) << "the request was taken as chunk data";
  EXPECT_FALSE(board.FindImage(Medium::kNand, 2));
  EXPECT_TRUE(board.FindImage(Medium::kSpi, 1));
}

// ---------------------------------------------------------------- faults

class SerialFaults : public SerialBoard {};

TEST_F(SerialFaults, ShortAndWrongChunkAcks) {
  board.InjectFault({FaultKind::kWrongChunkAck, Operation::kDownload, Medium::kAny, 2, 7});
  ASSERT_TRUE(line.Start(0, RawHead(0, 3 * 4096, 0x8000)));
  EXPECT_EQ(line.SendChunks(Pattern(3 * 4096, 1)), (std::vector<uint32_t>{4096, 7, 4096}));

  board.InjectFault({FaultKind::kShortChunkAck, Operation::kBurn, Medium::kNand, 1, 0});
  ASSERT_TRUE(line.Start(3, Head60(0, 100, 1, 0, 1)));
  line.Write(Pattern(100, 1));
  EXPECT_EQ(line.Read(4, 500).size(), 2u);
}

TEST_F(SerialFaults, ErrorBitsInTheNthStatusWord) {
  board.InjectFault({FaultKind::kStatusErrorBits, Operation::kBurn, Medium::kAny, 3, 0x00020000});
  ASSERT_TRUE(line.Start(5, Head60(0, 10, 1, 0, 1)));
  line.SendChunks(Pattern(10, 1));
  EXPECT_EQ(line.StatusWords(0xFF), (std::vector<uint32_t>{25, 50, 0x00020000 | 75}));
}

TEST_F(SerialFaults, ChooseMethodAnsweredWronglyThenRight) {
  board.InjectFault({FaultKind::kFailCommand, Operation::kChooseMethod, Medium::kAny, 1, 2});
  EXPECT_EQ(line.Choose(4), 0);
  EXPECT_EQ(line.Choose(4), 0);
  EXPECT_EQ(line.Choose(4), 1);
}

TEST_F(SerialFaults, HugeTableCount) {
  board.InjectFault({FaultKind::kHugeTableCount, Operation::kReadTable, Medium::kNand, 1, 0x40000000});
  line.Choose(8);
  EXPECT_EQ(line.Word(), 0x40000000u);
  EXPECT_TRUE(line.Read(60, 300).empty());
}

TEST_F(SerialFaults, SlowProgrammingTakesBoardTime) {
  board.InjectFault({FaultKind::kSlowProgramming, Operation::kBurn, Medium::kAny, 1, 5000});
  uint64_t before = clock.NowMs();
  ASSERT_TRUE(line.Start(3, Head60(0, 10, 1, 0, 1)));
  line.SendChunks(Pattern(10, 1));
  EXPECT_EQ(line.StatusWords(0xFF).size(), 4u);
  EXPECT_GE(clock.NowMs() - before, 4u * 5000);
}

}  // namespace
}  // namespace zorbel::sim::test
