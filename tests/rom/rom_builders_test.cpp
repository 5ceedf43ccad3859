// The NOR, SPI and NAND builders against hand-worked layouts: where each byte
// lands, which lists are refused, and that a refusal leaves the earlier file
// and no working file behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>

#include "app/test_table.h"
#include "rom/nand_rom_builder.h"
#include "rom/nor_rom_builder.h"
#include "rom/rom_file.h"
#include "rom/rom_layout.h"
#include "rom/rom_messages.h"
#include "rom/spi_rom_builder.h"
#include "rom_test_support.h"

namespace zorbel {
namespace {

namespace fs = std::filesystem;
using romtest::AllFill;
using romtest::Holds;
using romtest::Le16;
using romtest::Le32;
using romtest::Pattern;
using romtest::ReadFileBytes;
using romtest::Section;
using Keys = std::vector<std::pair<std::string, std::string>>;

constexpr size_t kFooter = 52;

// An [Image N] section whose file holds Pattern(size, N).
struct Img {
  int number;
  size_t size;
  Keys keys;
};

// A NOR image at flash address `base`, named imageN and loading at 0x30008000.
Img NorImage(int number, size_t size, const std::string& base, const Keys& more = {}) {
  Keys keys = {{"Name", "image" + std::to_string(number)}, {"Base", base}, {"Load", "0x30008000"}};
  keys.insert(keys.end(), more.begin(), more.end());
  return {number, size, keys};
}

// Keys of a section written "key=value;key=value" in a table cell.
Keys KeysOf(const std::string& cell) {
  Keys keys;
  std::istringstream in(cell);
  for (std::string pair; std::getline(in, pair, ';');) {
    keys.emplace_back(pair.substr(0, pair.find('=')), pair.substr(pair.find('=') + 1));
  }
  return keys;
}

// A NOR footer's checksum word covers its first twelve words.
void ExpectFooterSound(const std::vector<uint8_t>& rom, size_t at) {
  EXPECT_EQ(Le32(rom, at + 40), 0xA0FFFF9Fu) << "footer at " << std::hex << at;
  EXPECT_EQ(Le32(rom, at + 48), NorRomChecksum({rom.data() + at, 48}));
}

// An SPI image of the given kind; a System image runs nowhere.
Img SpiImage(int number, size_t size, const std::string& start, const std::string& kind = "Data",
             const std::string& end = "0x0") {
  return {number,
          size,
          {{"Exec", kind == "System" ? " " : "0x30008000"}, {"Start", start}, {kind, "1"}, {"End", end}}};
}

// NOR or SPI images written "number size start[ nofooter]" and joined by ", " in a table cell.
std::vector<Img> ImagesOf(const std::string& rom, const std::string& cell) {
  std::vector<Img> images;
  std::istringstream in(cell);
  for (std::string one; std::getline(in, one, ',');) {
    std::istringstream fields(one);
    int number = 0;
    size_t size = 0;
    std::string start, noFooter;
    fields >> number >> size >> start >> noFooter;
    const Keys more = noFooter.empty() ? Keys{} : Keys{{"No Footer", "1"}};
    images.push_back(rom == "spi" ? SpiImage(number, size, start) : NorImage(number, size, start, more));
  }
  return images;
}

class RomBuildTest : public romtest::RomFolder {
 protected:
  std::string ListFile(const std::string& name, std::vector<Section> sections, const std::vector<Img>& images,
                       const std::string& target = "out.bin") const {
    sections.insert(sections.begin(), Section{"Target Image", {{"Image", Path(target)}}});
    for (const auto& img : images) {
      const std::string n = std::to_string(img.number);
      sections.push_back(
          {"Image " + n, {{"Image", File("img" + n, Pattern(img.size, uint8_t(img.number)))}}});
      sections.back().entries.insert(sections.back().entries.end(), img.keys.begin(), img.keys.end());
    }
    return List(name, sections);
  }

  // NOR: a bootloader of bootSize bytes and the given [Boot Info] keys.
  int Nor(size_t bootSize, const std::vector<Img>& images, Keys bootInfo = {}) {
    const Section boot{"Boot Image", {{"Image", File("boot.bin", Pattern(bootSize, 1))}}};
    return Run(ListFile("mkrom.ini", {boot, {"Boot Info", std::move(bootInfo)}}, images));
  }

  // SPI: a System Image 0 of bootSize bytes at 0, then the given images.
  SpiRomRequest Spi(size_t bootSize, std::vector<Img> images = {}, uint32_t family = 0,
                    bool bankMode = false) {
    images.insert(images.begin(), SpiImage(0, bootSize, "0x0", "System"));
    return {ListFile("spirom.ini", {}, images), family, bankMode, &chip_};
  }

  NandRomRequest Nand(const std::vector<Img>& images, uint32_t count) {
    return {ListFile("nandrom.ini", {}, images), count};
  }

  // Each build gets a fresh prompt; Messages() are the last one's.
  int Run(const std::string& norList) { return NorRomBuilder({norList}, prompt_.emplace()); }
  int Run(const SpiRomRequest& r) { return SpiRomBuilder(r, prompt_.emplace()); }
  int Run(const NandRomRequest& r) { return NandRomBuilder(r, prompt_.emplace()); }
  std::vector<std::string> Messages() const { return prompt_->Messages(); }

  ChipSettings chip_;
  std::optional<RecordingPrompt> prompt_;
};

// Small ROM files checked by hand against the layout tables once, and kept
// byte for byte since. ZORBEL_WRITE_GOLDEN=1 rewrites them (then check the new
// bytes by hand again before committing).
TEST_F(RomBuildTest, Golden) {
  std::map<std::string, std::vector<Section>> lists;
  for (const auto& row : testing::LoadTable("rom/golden_lists.tsv")) {
    auto& sections = lists[row[0]];
    if (sections.empty() || sections.back().name != row[1]) sections.push_back({row[1], {}});
    std::string value = row[3];
    if (row.size() > 4) File(value, Pattern(std::stoul(row[4]), static_cast<uint8_t>(std::stoul(row[5]))));
    sections.back().entries.push_back({row[2], row[2] == "Image" ? Path(value) : value});
  }
  const uint8_t header[32] = {0xA5, 0x5A, 'K', 'Q',  0x00, 0x00, 0x00, 0x30, 0,    0,    0,
                              0,    'Q',  'K', 0x5A, 0xA5, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66,
                              0x77, 0x08, 0,   0,    0,    0,    0,    0,    0,    0};
  std::copy(std::begin(header), std::end(header), chip_.bootHeader.begin());
  chip_.bootHeaderLength = 32;
  for (const auto& [name, sections] : lists) {
    SCOPED_TRACE(name);
    const std::string list = List("list.ini", sections);
    ASSERT_EQ(name.starts_with("nor")   ? Run(list)
              : name.starts_with("spi") ? Run(SpiRomRequest{list, 1, false, &chip_})
                                        : Run(NandRomRequest{list, 2}),
              0);
    EXPECT_EQ(Messages(), std::vector<std::string>{rom_text::kCreationSuccess});
    const auto golden = fs::path(ZORBEL_TEST_DATA) / "rom" / name;
    const auto built = Out();
    if (std::getenv("ZORBEL_WRITE_GOLDEN") != nullptr) romtest::WriteBytes(golden, built);
    const auto expected = ReadFileBytes(golden);
    ASSERT_EQ(built.size(), expected.size());
    for (size_t i = 0; i < built.size(); ++i) {
      ASSERT_EQ(built[i], expected[i]) << "differs at offset 0x" << std::hex << i;
    }
  }
  // The connection's header keeps Image 0's length too, as the writer would set it.
  EXPECT_EQ(LoadLe32(&chip_.bootHeader[8]), 30u);
}

TEST_F(RomBuildTest, RefusalsChangeNoFile) {
  for (const auto& c : testing::LoadTable("rom/refusals.tsv")) {
    const std::string &rom = c[0], &label = c[1];
    SCOPED_TRACE(rom + ": " + label);
    romtest::WriteBytes(Path("out.bin"), Pattern(1234, 9));
    std::string target = label == "target folder missing" ? "no/dir/out.bin" : "out.bin";
    if (label == "target is the list") target = "x.ini";
    if (label == "target is an image") target = "img1";
    std::error_code noLinks;
    if (label == "target links to an image") {
      target = "alias.bin";
      fs::create_symlink(Path("img1"), Path(target), noLinks);
    }
    if (noLinks) continue;  // no links for this user (Windows)
    const bool nor = rom == "nor";
    std::vector<Section> boot;
    if (nor) boot.push_back({"Boot Image", {{"Image", File("img0", Pattern(10, 0))}}});
    std::vector<Img> images = {{1, 10, {{"Base", "0x20000"}, {"Start", "0x10000"}}},
                               {2, 10, {{"Base", "0x30000"}, {"Start", "0x20000"}}}};
    if (!nor) images.insert(images.begin(), {0, 10, {{"Start", "0x0"}, {"System", "1"}}});
    std::string list = ListFile("x.ini", boot, images, target);
    if (label == "list missing") list = Path("none.ini");
    if (label.starts_with("img")) fs::remove(Path(label.substr(0, 4)));
    const auto before = folder_.Contents();
    NandRomRequest nand{list, 3};
    nand.vcomConnected = label == "board block size unknown";
    EXPECT_EQ(nor ? Run(list) : rom == "spi" ? Run(SpiRomRequest{list}) : Run(nand), -1);
    EXPECT_EQ(Messages(), std::vector<std::string>{c[2]});
    EXPECT_EQ(folder_.Contents(), before);  // the earlier out.bin kept, no working file left
  }
}

TEST_F(RomBuildTest, NorBootloaderSizeLimit) {
  for (const size_t size : {65536, 65537, 0}) {
    SCOPED_TRACE(size);
    fs::remove(Path("out.bin"));
    const bool fits = size <= 65536;
    EXPECT_EQ(Nor(size, {}), fits ? 0 : -1);
    ASSERT_EQ(Messages(),
              std::vector<std::string>{fits ? rom_text::kCreationSuccess : rom_text::kBootTooLarge});
    EXPECT_TRUE(Leftovers().empty());
    if (!fits) {
      EXPECT_FALSE(fs::exists(Path("out.bin")));
      continue;
    }
    const auto rom = Out();
    ASSERT_EQ(rom.size(), 0x20000u);  // no images: the boot area only
    EXPECT_TRUE(Holds(rom, 0, Pattern(size, 1)));
    EXPECT_TRUE(AllFill(rom, size, 0x10000));
  }
}

TEST_F(RomBuildTest, NorBootInfoKeysMatchByContainmentInFixedOrder) {
  for (const auto& row : testing::LoadTable("rom/nor_boot_info.tsv")) {
    SCOPED_TRACE(row[0] + "=" + row[1]);
    ASSERT_EQ(Nor(16, {}, {{row[0], row[1]}, {"Name", "ignored"}}), 0);
    const auto rom = Out();
    EXPECT_TRUE(Holds(rom, 0x10000 + std::stoul(row[2]), {row[3].begin(), row[3].end()}));
    // Nothing else moved: the fields beside stay zero.
    EXPECT_EQ(Le16(rom, 0x10000 + 18), 0u);
    EXPECT_EQ(Le32(rom, 0x20000 - kFooter + 36), NorRomChecksum({rom.data() + 0x10000, 48}));
  }
}

TEST_F(RomBuildTest, NorPlacementAndSpiFileLength) {
  for (const auto& row : testing::LoadTable("rom/layouts.tsv")) {
    SCOPED_TRACE(row[1]);
    const auto images = ImagesOf(row[0], row[2]);
    if (row[0] == "spi") {
      ASSERT_EQ(Run(Spi(std::stoul(row[4]), images, 0, row[5] == "bank")), 0);
      EXPECT_EQ(Out().size(), std::stoul(row[3], nullptr, 0));
      continue;
    }
    EXPECT_EQ(Nor(16, images), row[3] == rom_text::kCreationSuccess ? 0 : -1);
    EXPECT_EQ(Messages(), std::vector<std::string>{row[3]});
    EXPECT_TRUE(Leftovers().empty());
  }
}

TEST_F(RomBuildTest, NorDataLengthAndFooterPlacement) {
  for (const auto& row : testing::LoadTable("rom/nor_footer_places.tsv")) {
    SCOPED_TRACE(row[0]);
    const size_t size = std::stoul(row[0]);
    const auto recorded = static_cast<uint32_t>(std::stoul(row[1]));
    const size_t footerAt = std::stoul(row[2], nullptr, 0) - kFooter;
    ASSERT_EQ(Nor(16, {NorImage(4, size, "0xA0030000")}), 0);
    const auto rom = Out();
    ASSERT_EQ(rom.size(), footerAt + kFooter);
    EXPECT_TRUE(AllFill(rom, 0x20000, 0x30000));
    EXPECT_TRUE(Holds(rom, 0x30000, Pattern(size, 4)));
    // The last word is completed with 0xFF, and that is what the checksum covers.
    EXPECT_TRUE(AllFill(rom, 0x30000 + size, footerAt));
    EXPECT_EQ(Le32(rom, footerAt + 4), 0xA0030000u);
    EXPECT_EQ(Le32(rom, footerAt + 8), recorded);
    EXPECT_EQ(Le32(rom, footerAt + 36), NorRomChecksum({rom.data() + 0x30000, recorded}));
    ExpectFooterSound(rom, footerAt);
  }
}

TEST_F(RomBuildTest, NorImagesGoInBaseOrderAndNoFooterOnOneKeepsTheOthers) {
  const Keys noFooter = {{"No Footer", "1"}};
  ASSERT_EQ(Nor(16, {NorImage(1, 300, "0x00100000"), NorImage(2, 1000, "0x00030000"),
                     NorImage(3, 1000, "0x00020000", noFooter)}),
            0);
  const auto rom = Out();
  EXPECT_TRUE(Holds(rom, 0x20000, Pattern(1000, 3)));
  EXPECT_TRUE(AllFill(rom, 0x20000 + 1000, 0x30000));
  EXPECT_TRUE(Holds(rom, 0x30000, Pattern(1000, 2)));
  EXPECT_EQ(Le32(rom, 0x40000 - kFooter), 2u);
  ExpectFooterSound(rom, 0x40000 - kFooter);
  EXPECT_TRUE(AllFill(rom, 0x40000, 0x100000));
  EXPECT_TRUE(Holds(rom, 0x100000, Pattern(300, 1)));
  EXPECT_EQ(Le32(rom, 0x110000 - kFooter), 1u);
  EXPECT_EQ(rom.size(), 0x110000u);

  // The last image without footer ends the file with its data.
  ASSERT_EQ(Nor(16, {NorImage(1, 1001, "0x00020000", noFooter)}), 0);
  EXPECT_EQ(Out().size(), 0x20000u + 1004);
}

TEST_F(RomBuildTest, NorFlagsAndNames) {
  for (const auto& row : testing::LoadTable("rom/nor_footers.tsv")) {
    SCOPED_TRACE(row[0]);
    ASSERT_EQ(Nor(16, {NorImage(5, 40, "0x00020000", KeysOf(row[0]))}), 0);
    const auto rom = Out();
    const size_t f = 0x30000 - kFooter;
    EXPECT_EQ(Le32(rom, f + 44), std::stoul(row[1], nullptr, 0));
    EXPECT_TRUE(Holds(rom, f + 20, {row[2].begin(), row[2].end()}));
    ExpectFooterSound(rom, f);
  }
}

TEST_F(RomBuildTest, SpiBankModeLayout) {
  ASSERT_EQ(Run(Spi(1000, {SpiImage(1, 70000, "0x10", "Logo", "0x11")}, 0, true)), 0);
  const auto rom = Out();
  ASSERT_EQ(rom.size(), 0x100000u + 2 * 0x10000);
  EXPECT_TRUE(Holds(rom, 0, Pattern(1000, 0)));  // family 0: no header
  EXPECT_TRUE(Holds(rom, 0xFC00, {'Q', 'K', 0x55, 0xAA}));
  const size_t first = 0xFC00 + 16;
  EXPECT_EQ(Le16(rom, first + 2), 3u);
  EXPECT_EQ(Le32(rom, first + 12), 1000u);  // bare file length without a header
  const size_t second = first + 48;
  EXPECT_EQ(Le16(rom, second), 1u);
  EXPECT_EQ(Le16(rom, second + 2), 4u);
  EXPECT_EQ(Le16(rom, second + 4), 0x10u);
  EXPECT_EQ(Le16(rom, second + 6), 0x11u);
  EXPECT_EQ(Le32(rom, second + 12), 70000u);
  EXPECT_TRUE(Holds(rom, 0x100000, Pattern(70000, 1)));
  EXPECT_TRUE(AllFill(rom, 0x100000 + 70000, rom.size()));
}

TEST_F(RomBuildTest, SpiTablePosition) {
  const std::vector<uint8_t> magic = {'Q', 'K', 0x55, 0xAA};
  for (const auto& row : testing::LoadTable("rom/spi_tables.tsv")) {
    SCOPED_TRACE(row[0] + " " + row[1]);
    const size_t bootSize = std::stoul(row[1], nullptr, 0);
    ASSERT_EQ(Run(Spi(bootSize, {}, 0, row[0] == "bank")), 0);
    const auto rom = Out();
    std::vector<size_t> found;
    for (size_t i = bootSize; i + 4 <= rom.size(); ++i) {
      if (Holds(rom, i, magic)) found.push_back(i);
    }
    EXPECT_EQ(found,
              row[2] == "none" ? std::vector<size_t>{} : std::vector<size_t>{std::stoul(row[2], nullptr, 0)});
  }
}

TEST_F(RomBuildTest, SpiLowerNumberIsOnTopWhereImagesOverlap) {
  ASSERT_EQ(Run(Spi(10, {SpiImage(1, 100, "0x20000"), SpiImage(2, 300, "0x20000")})), 0);
  const auto rom = Out();
  EXPECT_TRUE(Holds(rom, 0x20000, Pattern(100, 1)));
  const auto under = Pattern(300, 2);
  EXPECT_TRUE(Holds(rom, 0x20000 + 100, std::vector<uint8_t>(under.begin() + 100, under.end())));
}

TEST_F(RomBuildTest, SpiEveryByteOutsideImagesIsFill) {
  // Section 9 has no table record and no say in the length, but is copied:
  // the stretch between the computed length and it must be 0xFF, not a hole.
  ASSERT_EQ(Run(Spi(3000, {SpiImage(2, 40000, "0x30000"), SpiImage(1, 100, "0x10000"),
                           SpiImage(9, 500, "0x80000"), SpiImage(3, 20, "0x48000")})),
            0);
  const auto rom = Out();
  ASSERT_EQ(rom.size(), 0x80000u + 500);
  EXPECT_TRUE(Holds(rom, 0, Pattern(3000, 0)));
  EXPECT_TRUE(AllFill(rom, 3000, 0xFC00 - 16));
  EXPECT_EQ(Le32(rom, 0xFC00 - 12), 4u);  // Image 0 and three of 1..7
  EXPECT_TRUE(AllFill(rom, 0xFC00 + 4 * 48, 0x10000));
  EXPECT_TRUE(Holds(rom, 0x10000, Pattern(100, 1)));
  EXPECT_TRUE(AllFill(rom, 0x10000 + 100, 0x30000));
  EXPECT_TRUE(Holds(rom, 0x30000, Pattern(40000, 2)));
  EXPECT_TRUE(AllFill(rom, 0x30000 + 40000, 0x48000));
  EXPECT_TRUE(Holds(rom, 0x48000, Pattern(20, 3)));
  EXPECT_TRUE(AllFill(rom, 0x48000 + 20, 0x80000));
  EXPECT_TRUE(Holds(rom, 0x80000, Pattern(500, 9)));
}

TEST_F(RomBuildTest, SpiFamilyTwoHeaderLength) {
  chip_.bootHeaderLength = 48;
  for (size_t i = 0; i < 48; ++i) chip_.bootHeader[i] = static_cast<uint8_t>(i + 1);
  ASSERT_EQ(Run(Spi(500, {SpiImage(1, 9, "0x10000", "Data")}, 2)), 0);
  const auto rom = Out();
  EXPECT_EQ(Le32(rom, 8), 500u);
  EXPECT_EQ(Le32(rom, 4), 0x08070605u);
  EXPECT_EQ(rom[47], 48);
  EXPECT_TRUE(Holds(rom, 48, Pattern(500, 0)));
  EXPECT_EQ(Le32(rom, 0xFC00 + 12), 548u);  // the System record counts the header
  EXPECT_EQ(Le32(rom, 0xFC00 + 48 + 12), 9u);
}

TEST_F(RomBuildTest, SpiMaximumLength) {
  for (const auto& row : testing::LoadTable("rom/spi_max_lengths.tsv")) {
    SCOPED_TRACE(row[0]);
    File("out.bin", Pattern(10, 9));
    const auto r = Spi(10, {SpiImage(std::stoi(row[1]), 10, row[2]), SpiImage(2, 10, "0x20000")});
    const uint64_t size = row[3] == "max" ? kSpiRomMaxSize : std::stoull(row[3]);
    fs::resize_file(Path("img" + row[1]), size);  // sparse where large
    const int result = std::stoi(row[4]);
    EXPECT_EQ(Run(r), result);
    if (result == 0) {
      EXPECT_EQ(fs::file_size(Path("out.bin")), kSpiRomMaxSize);
    } else {
      EXPECT_EQ(Messages(), std::vector<std::string>{rom_text::kExceedMaxSize});
      EXPECT_EQ(Out(), Pattern(10, 9));
    }
    EXPECT_TRUE(Leftovers().empty());
  }
}

TEST_F(RomBuildTest, NandFillMakesLengthPlusSixteenWholeBlocks) {
  for (const auto& row : testing::LoadTable("rom/nand_fills.tsv")) {
    SCOPED_TRACE(row[0]);
    const size_t length = std::stoul(row[0]), fill = std::stoul(row[1]);
    // Start order, not number order: Image 3 first.
    ASSERT_EQ(Run(Nand({{1, 10, {{"Start", "0x10"}}}, {3, length, {{"Start", "0x0"}}}}, 2)), 0);
    const auto rom = Out();
    const size_t data = 12 + 64;
    EXPECT_EQ(Le32(rom, 12), 3u);
    EXPECT_EQ(Le32(rom, 12 + 56), length);
    EXPECT_TRUE(Holds(rom, data, Pattern(length, 3)));
    EXPECT_TRUE(AllFill(rom, data + length, data + length + fill));
    // The next image header follows the fill directly.
    const size_t next = data + length + fill;
    EXPECT_EQ(Le32(rom, next), 1u);
    EXPECT_EQ(rom.size(), next + 64 + 10 + (16384 - 26));
  }
}

TEST_F(RomBuildTest, NandKindNameAndExec) {
  for (const auto& row : testing::LoadTable("rom/nand_headers.tsv")) {
    SCOPED_TRACE(row[0]);
    ASSERT_EQ(Run(Nand({{1, 4, KeysOf(row[0])}}, 1)), 0);
    const auto rom = Out();
    EXPECT_EQ(Le32(rom, 12 + 36), std::stoul(row[1]));
    const std::string name = row[2] + '\0';  // the name ends in a zero, and so does its field
    EXPECT_TRUE(Holds(rom, 12 + 4, {name.begin(), name.end()}));
    EXPECT_EQ(rom[12 + 4 + 31], 0);
    EXPECT_EQ(Le32(rom, 12 + 40), std::stoul(row[3], nullptr, 0));
    EXPECT_EQ(Le32(rom, 12 + 52), std::stoul(row[3], nullptr, 0));
  }
}

TEST_F(RomBuildTest, NandBlockSizeFromChoiceOrBoard) {
  EXPECT_EQ(ParseNandBlockChoice("64k"), std::nullopt);
  EXPECT_EQ(ParseNandBlockChoice("16K"), std::nullopt);
  for (const auto& row : testing::LoadTable("rom/nand_block_choices.tsv")) {
    SCOPED_TRACE(row[0] + " " + row[1]);
    // The file header counts the dialog's rows, not the sections present.
    NandRomRequest r = Nand({{0, 1000, {{"Start", "0x0"}}}, {3, 7, {{"Start", "0x9"}}}}, 5);
    r.choice = ParseNandBlockChoice(row[0]).value();
    r.vcomConnected = row[1] == "yes";
    r.boardBlockSize = static_cast<uint32_t>(std::stoul(row[2]));
    const auto expected = static_cast<uint32_t>(std::stoul(row[3]));
    EXPECT_EQ(NandRomBlockSize(r), expected);
    ASSERT_EQ(Run(r), 0);
    const auto rom = Out();
    EXPECT_EQ(Le32(rom, 4), 5u);
    EXPECT_EQ(Le32(rom, 8), expected);
    EXPECT_EQ(rom.size(), 12 + (64 + expected - 16) * 2);
  }
}

}  // namespace
}  // namespace zorbel
