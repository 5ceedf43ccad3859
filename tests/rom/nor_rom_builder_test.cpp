#include "rom/nor_rom_builder.h"

#include <gtest/gtest.h>

#include <memory>

#include "rom/rom_layout.h"
#include "rom/rom_messages.h"
#include "rom_test_support.h"

namespace zorbel {
namespace {

using romtest::AllFill;
using romtest::Holds;
using romtest::Le32;
using romtest::Pattern;
using romtest::Section;
using romtest::Text;

constexpr size_t kFooter = 52;
constexpr uint32_t kSignature = 0xA0FFFF9F;

struct Img {
  int number;
  size_t size;
  std::string base;
  std::vector<std::pair<std::string, std::string>> extra = {};
};

class NorRomTest : public romtest::RomFolder {
 protected:
  // Builds with a bootloader of bootSize bytes and the given images.
  int Build(size_t bootSize, const std::vector<Img>& images,
            std::vector<std::pair<std::string, std::string>> bootInfo = {}) {
    std::vector<Section> sections;
    sections.push_back({"Target Image", {{"Image", Path("out.bin")}}});
    sections.push_back({"Boot Image", {{"Image", File("boot.bin", Pattern(bootSize, 1))}, {"Name", "boot"}}});
    sections.push_back({"Boot Info", std::move(bootInfo)});
    for (const auto& img : images) {
      Section s{"Image " + std::to_string(img.number), {}};
      s.entries.push_back({"Image", File("img" + std::to_string(img.number) + ".bin",
                                         Pattern(img.size, uint8_t(img.number)))});
      s.entries.push_back({"Name", "image" + std::to_string(img.number)});
      s.entries.push_back({"Base", img.base});
      s.entries.push_back({"Load", "0x30008000"});
      for (const auto& e : img.extra) s.entries.push_back(e);
      sections.push_back(s);
    }
    return NorRomBuilder({List("mkrom.ini", sections)}, *prompt_);
  }

  // The footer's checksum word covers its first twelve words.
  static void ExpectFooterSound(const std::vector<uint8_t>& rom, size_t at) {
    EXPECT_EQ(Le32(rom, at + 40), kSignature) << "footer at " << std::hex << at;
    EXPECT_EQ(Le32(rom, at + 48), NorRomChecksum({rom.data() + at, 48}));
  }

  // The footer of `length` bytes at flash address `base` (the low 24 bits place it in the file).
  static void ExpectFooter(const std::vector<uint8_t>& rom, size_t at, uint32_t number, uint32_t base,
                           uint32_t length, uint32_t load, const std::string& name) {
    EXPECT_EQ(Le32(rom, at + 0), number);
    EXPECT_EQ(Le32(rom, at + 4), base);
    EXPECT_EQ(Le32(rom, at + 8), length);
    EXPECT_EQ(Le32(rom, at + 12), load);
    EXPECT_EQ(Le32(rom, at + 16), load);
    EXPECT_EQ(Text(rom, at + 20, 16), name);
    EXPECT_EQ(Le32(rom, at + 36), NorRomChecksum({rom.data() + (base & 0xFFFFFF), length}));
    ExpectFooterSound(rom, at);
  }

  std::unique_ptr<RecordingPrompt> prompt_ = std::make_unique<RecordingPrompt>();
};

TEST_F(NorRomTest, BootloaderSizeLimit) {
  struct Case {
    size_t size;
    int result;
    std::string message;
  };
  const Case cases[] = {
      {65536, 0, rom_text::kCreationSuccess},
      {65537, -1, rom_text::kBootTooLarge},
      {100, 0, rom_text::kCreationSuccess},
      {0, 0, rom_text::kCreationSuccess},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    prompt_ = std::make_unique<RecordingPrompt>();
    EXPECT_EQ(Build(c.size, {}), c.result);
    ASSERT_EQ(prompt_->Messages(), std::vector<std::string>{c.message});
    EXPECT_TRUE(Leftovers().empty());
    if (c.result != 0) {
      EXPECT_FALSE(romtest::fs::exists(Path("out.bin")));
      continue;
    }
    const auto rom = Out();
    ASSERT_EQ(rom.size(), 0x20000u);
    EXPECT_TRUE(Holds(rom, 0, Pattern(c.size, 1)));
    EXPECT_TRUE(AllFill(rom, c.size, 0x10000));
    romtest::fs::remove(Path("out.bin"));
  }
}

TEST_F(NorRomTest, NoImagesGivesBootAreaOnly) {
  ASSERT_EQ(Build(300, {}), 0);
  const auto rom = Out();
  ASSERT_EQ(rom.size(), 0x20000u);
  EXPECT_EQ(Le32(rom, 0x10000), 48u);
  EXPECT_EQ(Le32(rom, 0x10004), 1u);
  EXPECT_TRUE(AllFill(rom, 0x10000 + 48, 0x20000 - kFooter));
  ExpectFooter(rom, 0x20000 - kFooter, 0, 0xA0010000, 48, 0xA0010000, "BOOT INFO");
  EXPECT_EQ(Le32(rom, 0x20000 - kFooter + 44), 0x09u);
}

TEST_F(NorRomTest, BootInfoKeysMatchByContainmentInFixedOrder) {
  struct Case {
    std::string key;
    std::string value;
    size_t offset;  // in the boot info block
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"mac", "00:11:22:aa:BB:cc", 8, {0x00, 0x11, 0x22, 0xAA, 0xBB, 0xCC}},
      {"mac", "0011223344FF", 8, {0x00, 0x11, 0x22, 0x33, 0x44, 0xFF}},
      {"mac", "00:11:zz:33:44:55", 8, {0x00, 0x11, 0, 0, 0, 0}},
      {"mac", "00:11:22:33:44:5", 8, {0, 0, 0, 0, 0, 0}},
      // "mac" is tested before "ip", so a key holding both is a MAC.
      {"ip_mac", "0A0B0C0D0E0F", 8, {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F}},
      {"ip", "192.168.1.20", 14, {192, 168, 1, 20}},
      {"ipaddr", "10.0.0.300", 14, {10, 0, 0, 44}},
      {"dhcp", "1", 20, {1, 0, 0, 0}},
      {"phy", "1", 24, {1, 0, 0, 0}},
      {"phy2", "1", 24, {1, 0, 0, 0}},
      {"phy", "255", 24, {2, 0, 0, 0}},
      {"buffer_base", "0x00500000", 28, {0x00, 0x00, 0x50, 0x00}},
      {"buffer_size", "0x100000", 32, {0x00, 0x00, 0x10, 0x00}},
      {"baudrate", "115200", 36, {0x00, 0xC2, 0x01, 0x00}},
      {"serial_number", "0042", 40, {42, 0, 0, 0}},
      {"turbo_mode", "1", 44, {1, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key + "=" + c.value);
    ASSERT_EQ(Build(16, {}, {{c.key, c.value}, {"Name", "ignored"}}), 0);
    const auto rom = Out();
    EXPECT_TRUE(Holds(rom, 0x10000 + c.offset, c.bytes));
    // Nothing else moved: the fields beside stay zero.
    EXPECT_EQ(rom[0x10000 + 18], 0);
    EXPECT_EQ(rom[0x10000 + 19], 0);
    EXPECT_EQ(Le32(rom, 0x20000 - kFooter + 36), NorRomChecksum({rom.data() + 0x10000, 48}));
  }
}

TEST_F(NorRomTest, PlacementRefusals) {
  struct Case {
    std::string label;
    std::vector<Img> images;
    int result;
    std::string message;
  };
  const Case cases[] = {
      {"below the boot area", {{1, 100, "0x00010000"}}, -1, rom_text::kArrangementError},
      {"not on 64k", {{1, 100, "0x00028000"}}, -1, rom_text::kBaseNotAligned},
      {"both wrong: arrangement first", {{1, 100, "0x00018000"}}, -1, rom_text::kArrangementError},
      {"into the previous footer",
       {{1, 65536, "0x00020000"}, {2, 10, "0x00030000"}},
       -1,
       rom_text::kArrangementError},
      {"after the previous footer",
       {{1, 65536, "0x00030000"}, {2, 10, "0x00050000"}},
       0,
       rom_text::kCreationSuccess},
      {"right after data without footer",
       {{1, 65536, "0x00020000", {{"No Footer", "1"}}}, {2, 10, "0x00030000"}},
       0,
       rom_text::kCreationSuccess},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    prompt_ = std::make_unique<RecordingPrompt>();
    EXPECT_EQ(Build(16, c.images), c.result);
    EXPECT_EQ(prompt_->Messages(), std::vector<std::string>{c.message});
    EXPECT_TRUE(Leftovers().empty());
  }
}

TEST_F(NorRomTest, DataLengthAndFooterPlacement) {
  struct Case {
    size_t size;
    uint32_t recorded;
    size_t footerAt;
  };
  const Case cases[] = {
      {65536, 65536, 0x50000 - kFooter},  // data ends on a boundary: a whole block follows
      {65500, 65500, 0x50000 - kFooter},  // 36 bytes left: footer ends the next block
      {65484, 65484, 0x40000 - kFooter},  // exactly 52 left
      {65485, 65488, 0x50000 - kFooter},  // rounded up leaves 48
      {5, 8, 0x40000 - kFooter},         {0, 0, 0x40000 - kFooter},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    ASSERT_EQ(Build(16, {{4, c.size, "0xA0030000"}}), 0);
    const auto rom = Out();
    ASSERT_EQ(rom.size(), c.footerAt + kFooter);
    EXPECT_TRUE(AllFill(rom, 0x20000, 0x30000));
    EXPECT_TRUE(Holds(rom, 0x30000, Pattern(c.size, 4)));
    // The last word is completed with 0xFF, and that is what the checksum covers.
    EXPECT_TRUE(AllFill(rom, 0x30000 + c.size, c.footerAt));
    ExpectFooter(rom, c.footerAt, 4, 0xA0030000, c.recorded, 0x30008000, "image4");
  }
}

TEST_F(NorRomTest, ImagesGoInBaseOrderNotNumberOrder) {
  ASSERT_EQ(Build(16, {{1, 300, "0x00100000"}, {3, 200, "0x00020000"}}), 0);
  const auto rom = Out();
  EXPECT_TRUE(Holds(rom, 0x20000, Pattern(200, 3)));
  EXPECT_EQ(Le32(rom, 0x30000 - kFooter), 3u);
  EXPECT_TRUE(AllFill(rom, 0x30000, 0x100000));
  EXPECT_TRUE(Holds(rom, 0x100000, Pattern(300, 1)));
  EXPECT_EQ(Le32(rom, 0x110000 - kFooter), 1u);
  EXPECT_EQ(rom.size(), 0x110000u);
}

TEST_F(NorRomTest, NoFooterOnOneImageKeepsTheOthers) {
  ASSERT_EQ(Build(16, {{1, 1000, "0x00020000", {{"No Footer", "1"}}}, {2, 1000, "0x00030000"}}), 0);
  const auto rom = Out();
  EXPECT_TRUE(AllFill(rom, 0x20000 + 1000, 0x30000));
  EXPECT_EQ(Le32(rom, 0x40000 - kFooter), 2u);
  ExpectFooterSound(rom, 0x40000 - kFooter);
  EXPECT_EQ(rom.size(), 0x40000u);

  // The last image without footer ends the file with its data.
  ASSERT_EQ(Build(16, {{1, 1001, "0x00020000", {{"No Footer", "1"}}}}), 0);
  EXPECT_EQ(Out().size(), 0x20000u + 1004);
}

TEST_F(NorRomTest, FlagsAndNames) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> keys;
    uint32_t flags;
    std::vector<uint8_t> name;  // the 16-byte field
  };
  auto field = [](std::string s) {
    std::vector<uint8_t> v(s.begin(), s.end());
    v.resize(16, 0);
    return v;
  };
  const Case cases[] = {
      {{{"Active", "1"}, {"Copy to RAM", "1"}, {"Execution", "0"}}, 0x03, field("image5")},
      {{{"Execution", "1"}, {"File", "1"}, {"Compressed", "1"}, {"ROMFS", "1"}}, 0x3C, field("image5")},
      // A later Name replaces the earlier one and fills all 16 bytes, without a terminator.
      {{{"Name", "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"}}, 0, field("ABCDEFGHIJKLMNOP")},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Build(16, {{5, 40, "0x00020000", c.keys}}), 0);
    const auto rom = Out();
    const size_t f = 0x30000 - kFooter;
    EXPECT_EQ(Le32(rom, f + 44), c.flags);
    EXPECT_TRUE(Holds(rom, f + 20, c.name));
    ExpectFooterSound(rom, f);
  }
}

TEST_F(NorRomTest, FailuresKeepThePreviousTarget) {
  auto build = [&](const std::string& label, RecordingPrompt& prompt) {
    std::vector<Section> sections = {{"Target Image", {{"Image", Path("out.bin")}}},
                                     {"Boot Image", {{"Image", File("boot.bin", Pattern(10, 1))}}},
                                     {"Image 2", {{"Image", Path("none.bin")}, {"Base", "0x20000"}}}};
    if (label == "bootloader missing") sections[1].entries[0].second = Path("none.bin");
    if (label == "target folder missing") {
      sections[0].entries[0].second = Path("no/such/folder/out.bin");
      sections.pop_back();
    }
    std::string list = List("mkrom.ini", sections);
    if (label == "script missing") list = Path("missing.ini");
    return NorRomBuilder({list}, prompt);
  };
  ExpectEachRefused({{"image missing", rom_text::kCantOpenImage},
                     {"bootloader missing", rom_text::kCantOpenBootloader},
                     {"script missing", rom_text::kCantOpenScript},
                     {"target folder missing", "ERROR: Can't open  target file !"}},
                    build);
}

}  // namespace
}  // namespace zorbel
