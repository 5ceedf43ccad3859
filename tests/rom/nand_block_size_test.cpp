#include "rom/nand_block_size.h"

#include <gtest/gtest.h>

#include "rom/rom_layout.h"
#include "rom/rom_messages.h"
#include "rom_test_support.h"

namespace zorbel {
namespace {

using romtest::NandFile;
using romtest::Pattern;
using romtest::ReadFileBytes;

class NandConvertTest : public romtest::RomFolder {};

TEST_F(NandConvertTest, ConvertsFillOnly) {
  struct Case {
    uint32_t from, to;
    std::vector<size_t> lengths;
    size_t cut;     // bytes missing from the end of the last fill
    size_t toSize;  // keeps the hand-built file honest
  };
  const Case cases[] = {
      {16384, 131072, {1000}, 0, 12 + 64 + 1000 + (131072 - 1016)},
      {16384, 131072, {10}, 100, 12 + 48 + 131072},  // a file cut inside its last fill loses nothing
      {16384, 131072, {1000, 16368, 0}, 0, 12 + 3 * (48 + 131072)},
      {262144, 16384, {300000, 5}, 0, 12 + 48 + 19 * 16384 + 48 + 16384},
      {131072, 262144, {131056}, 0, 12 + 48 + 262144},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.toSize);
    const auto count = static_cast<uint32_t>(c.lengths.size());
    auto file = NandFile(c.from, c.lengths, count);
    file.resize(file.size() - c.cut);
    const std::string path = File("rom.bin", file);
    RecordingPrompt prompt;
    ASSERT_EQ(NandBlockSizeConvert(path, c.to, prompt), 1);
    EXPECT_EQ(prompt.Messages(), std::vector<std::string>{rom_text::kConvertSuccess});
    const auto rom = ReadFileBytes(path);
    EXPECT_EQ(rom.size(), c.toSize);
    EXPECT_EQ(rom, NandFile(c.to, c.lengths, count));
    EXPECT_TRUE(Leftovers().empty());
  }
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
    EXPECT_EQ(ReadFileBytes(path), c.file);
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

TEST_F(NandConvertTest, UnknownTargetSizeOrMissingFile) {
  const auto file = NandFile(16384, {10}, 1);
  const std::string path = File("rom.bin", file);
  RecordingPrompt prompt;
  EXPECT_EQ(NandBlockSizeConvert(path, 65536, prompt), 0);
  EXPECT_EQ(ReadFileBytes(path), file);
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
      {"no such file", {}, "/dev/board", -1, 0, {rom_text::kCantOpenTarget}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string path = c.file.empty() ? Path("none.bin") : File("rom.bin", c.file);
    CountingPort port;
    RecordingPrompt prompt;
    const auto r = NandBlockSizeCheck(path, c.portPath, port, prompt);
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(port.opens, c.opens);
    EXPECT_EQ(prompt.Messages(), c.messages);
    EXPECT_EQ(ReadFileBytes(path), c.file);
  }
}

}  // namespace
}  // namespace zorbel
