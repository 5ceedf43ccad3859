#include "rom/nand_block_size.h"

#include <gtest/gtest.h>

#include "app/byte_order.h"
#include "rom/rom_layout.h"
#include "rom/rom_messages.h"
#include "rom_test_support.h"

namespace zorbel {
namespace {

using romtest::AllFill;
using romtest::Holds;
using romtest::Le32;
using romtest::Pattern;
using romtest::ReadAll;

// A NAND ROM file assembled here by hand from the layout, independent of the
// builder: the header, then per image its header, data and fill.
std::vector<uint8_t> NandFile(uint32_t blockSize, const std::vector<size_t>& lengths, uint32_t count) {
  std::vector<uint8_t> f = {'Q', 'K', 0x5A, 0xA5};
  AppendLe32(f, count);
  AppendLe32(f, blockSize);
  for (size_t i = 0; i < lengths.size(); ++i) {
    std::vector<uint8_t> h(64, 0);
    StoreLe32(&h[0], static_cast<uint32_t>(i));
    h[4] = 'n';
    h[48] = 'Q';
    h[49] = 'K';
    h[50] = 0x5A;
    h[51] = 0xA5;
    StoreLe32(&h[56], static_cast<uint32_t>(lengths[i]));
    f.insert(f.end(), h.begin(), h.end());
    const auto data = Pattern(lengths[i], static_cast<uint8_t>(i));
    f.insert(f.end(), data.begin(), data.end());
    const size_t rest = (lengths[i] + 16) % blockSize;
    if (rest != 0) f.insert(f.end(), blockSize - rest, 0xFF);
  }
  return f;
}

class NandConvertTest : public romtest::RomFolder {};

TEST_F(NandConvertTest, ConvertsFillOnly) {
  struct Case {
    uint32_t from, to;
    std::vector<size_t> lengths;
  };
  const Case cases[] = {
      {16384, 131072, {1000}},
      {16384, 131072, {1000, 16368, 0}},
      {262144, 16384, {300000, 5}},
      {131072, 262144, {131056}},
  };
  for (const auto& c : cases) {
    const std::string path =
        File("rom.bin", NandFile(c.from, c.lengths, static_cast<uint32_t>(c.lengths.size())));
    RecordingPrompt prompt;
    ASSERT_EQ(NandBlockSizeConvert(path, c.to, prompt), 1);
    EXPECT_EQ(prompt.Messages(), std::vector<std::string>{rom_text::kConvertSuccess});
    EXPECT_EQ(ReadAll(path), NandFile(c.to, c.lengths, static_cast<uint32_t>(c.lengths.size())));
    EXPECT_TRUE(Leftovers().empty());
  }
}

TEST_F(NandConvertTest, ThousandBytesFrom16kTo128k) {
  const std::string path = File("rom.bin", NandFile(16384, {1000}, 1));
  ASSERT_EQ(romtest::fs::file_size(path), 12u + 64 + 1000 + (16384 - 1016));
  RecordingPrompt prompt;
  ASSERT_EQ(NandBlockSizeConvert(path, 131072, prompt), 1);
  const auto rom = ReadAll(path);
  ASSERT_EQ(rom.size(), 12u + 64 + 1000 + (131072 - 1016));
  EXPECT_EQ(Le32(rom, 4), 1u);
  EXPECT_EQ(Le32(rom, 8), 131072u);
  EXPECT_EQ(Le32(rom, 12 + 56), 1000u);
  EXPECT_TRUE(Holds(rom, 76, Pattern(1000, 0)));
  EXPECT_TRUE(AllFill(rom, 1076, rom.size()));
}

TEST_F(NandConvertTest, DamagedFilesAreRefusedAndLeftAlone) {
  struct Case {
    std::string label;
    std::vector<uint8_t> file;
    std::string message;
  };
  auto cut = [](std::vector<uint8_t> f, size_t size) {
    f.resize(size);
    return f;
  };
  auto badBlock = NandFile(16384, {10}, 1);
  StoreLe32(&badBlock[8], 0);
  auto badMagic = NandFile(16384, {10, 10}, 2);
  badMagic[12 + 64 + 10 + 16384 - 26 + 48] = 0;
  auto tooLong = NandFile(16384, {10}, 1);
  StoreLe32(&tooLong[12 + 56], 20000);
  const Case cases[] = {
      {"count beyond the images", NandFile(16384, {10, 20}, 3), rom_text::kNandCountExceeds},
      {"last header cut short", cut(NandFile(16384, {10, 20}, 2), 12 + 64 + 16368 + 30),
       rom_text::kNandCountExceeds},
      {"data past the end", tooLong, rom_text::kNandImageTruncated},
      {"data cut short", cut(NandFile(16384, {5000}, 1), 12 + 64 + 4000), rom_text::kNandImageTruncated},
      {"images beyond the count", NandFile(16384, {10, 20}, 1), rom_text::kNandTrailingData},
      {"block size zero", badBlock, rom_text::kInvalidBlockSize},
      {"lost image header", badMagic, rom_text::kNandBadImageHeader},
      {"no file header", Pattern(100, 1), rom_text::kNandNotRomFile},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string path = File("rom.bin", c.file);
    RecordingPrompt prompt;
    EXPECT_EQ(NandBlockSizeConvert(path, 131072, prompt), 0);
    EXPECT_EQ(prompt.Messages(), std::vector<std::string>{c.message});
    EXPECT_EQ(ReadAll(path), c.file);
    EXPECT_TRUE(Leftovers().empty());
  }
}

TEST_F(NandConvertTest, KeepsThePermissionsOfTheFile) {
  namespace fs = romtest::fs;
  const std::string path = File("rom.bin", NandFile(16384, {10}, 1));
  // Read and write for everyone: unlike a new file's default, and a mode Windows can keep too.
  const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                     fs::perms::group_write | fs::perms::others_read | fs::perms::others_write;
  fs::permissions(path, perms);
  RecordingPrompt prompt;
  ASSERT_EQ(NandBlockSizeConvert(path, 262144, prompt), 1);
  EXPECT_EQ(fs::status(path).permissions(), perms);
}

TEST_F(NandConvertTest, LastFillMayBeShort) {
  // A file cut inside the last image's fill loses nothing.
  auto file = NandFile(16384, {10}, 1);
  file.resize(file.size() - 100);
  const std::string path = File("rom.bin", file);
  RecordingPrompt prompt;
  ASSERT_EQ(NandBlockSizeConvert(path, 131072, prompt), 1);
  EXPECT_EQ(ReadAll(path), NandFile(131072, {10}, 1));
}

TEST_F(NandConvertTest, UnknownTargetSizeOrMissingFile) {
  const auto file = NandFile(16384, {10}, 1);
  const std::string path = File("rom.bin", file);
  RecordingPrompt prompt;
  EXPECT_EQ(NandBlockSizeConvert(path, 65536, prompt), 0);
  EXPECT_EQ(ReadAll(path), file);
  EXPECT_EQ(NandBlockSizeConvert(Path("none.bin"), 131072, prompt), 0);
  EXPECT_EQ(NandBlockSizeConvert(Path("no/dir/x.bin"), 131072, prompt), 0);
  EXPECT_EQ(prompt.Messages(),
            (std::vector<std::string>{rom_text::kInvalidBlockSize, rom_text::kCantOpenTarget,
                                      rom_text::kCantOpenTemp}));
  EXPECT_TRUE(Leftovers().empty());
}

// Records whether the board was contacted; any open fails.
class CountingPort : public SerialPort {
 public:
  uint32_t Open(const std::string&, uint32_t, uint32_t) override {
    ++opens;
    return win_error::kFileNotFound;
  }
  int opens = 0;
};

TEST_F(NandConvertTest, CheckRefusesWithoutAskingTheBoard) {
  struct Case {
    std::string label;
    std::vector<uint8_t> file;
    std::string portPath;
    int result;
    int opens;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"raw dump", Pattern(5000, 3), "/dev/board", 0, 0, {}},
      {"shorter than a header", {'Q', 'K', 0x5A, 0xA5, 1}, "/dev/board", 0, 0, {}},
      {"not connected over VCOM", NandFile(16384, {10}, 1), "", 0, 0, {}},
      {"port fails to open", NandFile(16384, {10}, 1), "/dev/board", 0, 1, {"Failed to open /dev/board"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string path = File("rom.bin", c.file);
    CountingPort port;
    RecordingPrompt prompt;
    const auto r = NandBlockSizeCheck(path, c.portPath, port, prompt);
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(port.opens, c.opens);
    EXPECT_EQ(prompt.Messages(), c.messages);
    EXPECT_EQ(ReadAll(path), c.file);
  }
  CountingPort port;
  RecordingPrompt prompt;
  EXPECT_EQ(NandBlockSizeCheck(Path("none.bin"), "/dev/board", port, prompt).result, -1);
  EXPECT_EQ(prompt.Messages(), std::vector<std::string>{rom_text::kCantOpenTarget});
  EXPECT_EQ(port.opens, 0);
}

TEST(BlockSizeCodeTest, Table) {
  EXPECT_EQ(BlockSizeFromCode(1), 16384u);
  EXPECT_EQ(BlockSizeFromCode(2), 131072u);
  EXPECT_EQ(BlockSizeFromCode(3), 262144u);
  for (int code : {0, 4, 0x7F, 0x80, 0xFF})
    EXPECT_EQ(BlockSizeFromCode(static_cast<uint8_t>(code)), std::nullopt);
}

}  // namespace
}  // namespace zorbel
