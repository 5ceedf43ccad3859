#include "rom/nand_block_size.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "app/test_table.h"
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
  for (const auto& row : testing::LoadTable("rom/nand_conversions.tsv")) {
    SCOPED_TRACE(row[2]);
    std::vector<size_t> lengths;
    std::istringstream words(row[2]);
    for (size_t length; words >> length;) lengths.push_back(length);
    const auto count = static_cast<uint32_t>(lengths.size());
    const auto to = static_cast<uint32_t>(std::stoul(row[1]));
    auto file = NandFile(static_cast<uint32_t>(std::stoul(row[0])), lengths, count);
    file.resize(file.size() - std::stoul(row[3]));
    const std::string path = File("rom.bin", file);
    RecordingPrompt prompt;
    ASSERT_EQ(NandBlockSizeConvert(path, to, prompt), 1);
    EXPECT_EQ(prompt.Messages(), std::vector<std::string>{rom_text::kConvertSuccess});
    const auto rom = ReadFileBytes(path);
    EXPECT_EQ(rom.size(), std::stoul(row[4]));  // keeps the hand-built file honest
    EXPECT_EQ(rom, NandFile(to, lengths, count));
    EXPECT_TRUE(Leftovers().empty());
  }
}

TEST_F(NandConvertTest, DamagedFilesAreRefusedAndLeftAlone) {
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
  // Label, file, message.
  const std::tuple<std::string, std::vector<uint8_t>, std::string> cases[] = {
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
  for (const auto& [label, file, message] : cases) {
    SCOPED_TRACE(label);
    const std::string path = File("rom.bin", file);
    RecordingPrompt prompt;
    EXPECT_EQ(NandBlockSizeConvert(path, 131072, prompt), 0);
    EXPECT_EQ(prompt.Messages(), std::vector<std::string>{message});
    EXPECT_EQ(ReadFileBytes(path), file);
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

}  // namespace
}  // namespace zorbel
