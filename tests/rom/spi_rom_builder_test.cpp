#include "rom/spi_rom_builder.h"

#include <gtest/gtest.h>

#include "rom/rom_messages.h"
#include "rom_test_support.h"

namespace zorbel {
namespace {

using romtest::AllFill;
using romtest::Holds;
using romtest::Le16;
using romtest::Le32;
using romtest::Pattern;
using romtest::Section;
using romtest::Text;

struct Img {
  int number;
  size_t size;
  std::string start;
  std::string kind = "Data";
  std::string end = "0x0";
};

class SpiRomTest : public romtest::RomFolder {
 protected:
  SpiRomRequest Request(const std::vector<Img>& images, uint32_t family, bool bankMode) {
    std::vector<Section> sections = {{"Target Image", {{"Image", Path("out.bin")}}}};
    for (const auto& img : images) {
      Section s{"Image " + std::to_string(img.number), {}};
      s.entries = {
          {"Image", File("img" + std::to_string(img.number), Pattern(img.size, uint8_t(img.number)))},
          {"Name", "spi" + std::to_string(img.number)},
          {"Exec", img.kind == "System" ? " " : "0x30008000"},
          {"Start", img.start},
          {"Data", "0"},
          {"Execution", "0"},
          {"System", "0"},
          {"ROMFS", "0"},
          {"Logo", "0"},
          {img.kind, "1"},
          {"End", img.end}};
      sections.push_back(s);
    }
    SpiRomRequest r;
    r.listFile = List("spirom.ini", sections);
    r.chipFamily = family;
    r.bankMode = bankMode;
    r.chip = &chip_;
    return r;
  }

  ChipSettings chip_;
  RecordingPrompt prompt_;
};

TEST_F(SpiRomTest, OffsetModeFamilyOneLayout) {
  for (size_t i = 0; i < 32; ++i) chip_.bootHeader[i] = static_cast<uint8_t>(0xC0 + i);
  chip_.bootHeaderLength = 32;
  const auto r = Request({{0, 20000, "0x0", "System"}, {1, 5000, "0x20000", "Execution"}}, 1, false);
  ASSERT_EQ(SpiRomBuilder(r, prompt_), 0);
  EXPECT_EQ(prompt_.Messages(), std::vector<std::string>{rom_text::kCreationSuccess});
  const auto rom = Out();
  ASSERT_EQ(rom.size(), 0x30000u);
  // The whole header, its length word set to Image 0's file length; the
  // connection's header keeps the length too, as the writer would set it.
  std::vector<uint8_t> header(32);
  for (size_t i = 0; i < 32; ++i) header[i] = static_cast<uint8_t>(0xC0 + i);
  StoreLe32(&header[8], 20000);
  EXPECT_TRUE(Holds(rom, 0, header));
  EXPECT_EQ(std::vector<uint8_t>(chip_.bootHeader.begin(), chip_.bootHeader.begin() + 32), header);
  EXPECT_TRUE(Holds(rom, 32, Pattern(20000, 0)));
  EXPECT_TRUE(AllFill(rom, 20032, 0xFC00 - 16));
  // Table head at 0xFC00 - 16, records from 0xFC00.
  const size_t head = 0xFC00 - 16;
  EXPECT_TRUE(Holds(rom, head, {'Q', 'K', 0x55, 0xAA}));
  EXPECT_EQ(Le32(rom, head + 4), 2u);
  EXPECT_EQ(Le32(rom, head + 8), 0u);
  EXPECT_TRUE(Holds(rom, head + 12, {'Q', 'K', 0x59, 0x63}));
  struct Record {
    size_t at;
    uint16_t number, kind;
    uint32_t start, exec, length;
  };
  const Record records[] = {{0xFC00, 0, 3, 0, 0, 20032}, {0xFC00 + 48, 1, 1, 0x20000, 0x30008000, 5000}};
  for (const auto& rec : records) {
    SCOPED_TRACE(rec.number);
    EXPECT_EQ(Le16(rom, rec.at), rec.number);
    EXPECT_EQ(Le16(rom, rec.at + 2), rec.kind);
    EXPECT_EQ(Le32(rom, rec.at + 4), rec.start);
    EXPECT_EQ(Le32(rom, rec.at + 8), rec.exec);
    EXPECT_EQ(Le32(rom, rec.at + 12), rec.length);
    EXPECT_EQ(Text(rom, rec.at + 16, 32), "spi" + std::to_string(rec.number));
  }
  EXPECT_TRUE(AllFill(rom, 0xFC00 + 96, 0x20000));
  EXPECT_TRUE(Holds(rom, 0x20000, Pattern(5000, 1)));
  EXPECT_TRUE(AllFill(rom, 0x20000 + 5000, rom.size()));
}

TEST_F(SpiRomTest, BankModeLayout) {
  const auto r = Request({{0, 1000, "0x0", "System"}, {1, 70000, "0x10", "Logo", "0x11"}}, 0, true);
  ASSERT_EQ(SpiRomBuilder(r, prompt_), 0);
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

TEST_F(SpiRomTest, TablePosition) {
  struct Case {
    std::string label;
    bool bankMode;
    size_t bootSize;
    long tableAt;  // -1: no table
  };
  const Case cases[] = {
      {"offset, E at 0xFC00-16", false, 0xFC00 - 16, 0xFC00 - 16},
      {"offset, E just past", false, 0xFC00 - 15, -1},
      {"offset, counter on a bank end", false, 0x10000 - 16, -1},
      {"offset, second bank", false, 0x10010, 0x1F800 - 16},
      {"bank, E at 0xFC00", true, 0xFC00, 0xFC00},
      {"bank, E 1", true, 1, 0xFC00},
      {"bank, E on a bank end", true, 0x10000, -1},
      {"bank, E 0", true, 0, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto r = Request({{0, c.bootSize, "0x0", "System"}}, 0, c.bankMode);
    ASSERT_EQ(SpiRomBuilder(r, prompt_), 0);
    const auto rom = Out();
    const std::vector<uint8_t> magic = {'Q', 'K', 0x55, 0xAA};
    size_t found = 0;
    long at = -1;
    for (size_t i = c.bootSize; i + 4 <= rom.size(); ++i) {
      if (Holds(rom, i, magic)) {
        ++found;
        at = static_cast<long>(i);
      }
    }
    EXPECT_EQ(at, c.tableAt);
    EXPECT_LE(found, 1u);
  }
}

TEST_F(SpiRomTest, FileLength) {
  struct Case {
    std::string label;
    std::vector<Img> images;
    bool bankMode;
    size_t length;
  };
  const Case cases[] = {
      {"a full extra bank after a bank-sized image",
       {{0, 10, "0x0", "System"}, {1, 65536, "0x100000"}},
       false,
       0x100000 + 2 * 65536},
      // Equal highest start: the lower number's length counts.
      {"tie on start",
       {{0, 10, "0x0", "System"}, {1, 100000, "0x20000"}, {2, 10, "0x20000"}},
       false,
       0x40000},
      {"bank mode start", {{0, 10, "0x0", "System"}, {3, 10, "0x3"}}, true, 0x40000},
      {"boot image only", {{0, 70000, "0x0", "System"}}, false, 0x20000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_EQ(SpiRomBuilder(Request(c.images, 0, c.bankMode), prompt_), 0);
    EXPECT_EQ(Out().size(), c.length);
  }
}

TEST_F(SpiRomTest, LowerNumberIsOnTopWhereImagesOverlap) {
  const auto r = Request({{0, 10, "0x0", "System"}, {1, 100, "0x20000"}, {2, 300, "0x20000"}}, 0, false);
  ASSERT_EQ(SpiRomBuilder(r, prompt_), 0);
  const auto rom = Out();
  EXPECT_TRUE(Holds(rom, 0x20000, Pattern(100, 1)));
  const auto under = Pattern(300, 2);
  EXPECT_TRUE(Holds(rom, 0x20000 + 100, std::vector<uint8_t>(under.begin() + 100, under.end())));
}

TEST_F(SpiRomTest, EveryByteOutsideImagesIsFill) {
  // Section 9 has no table record and no say in the length, but is copied:
  // the stretch between the computed length and it must be 0xFF, not a hole.
  const auto r = Request({{0, 3000, "0x0", "System"},
                          {2, 40000, "0x30000"},
                          {1, 100, "0x10000"},
                          {9, 500, "0x80000"},
                          {3, 20, "0x48000"}},
                         0, false);
  ASSERT_EQ(SpiRomBuilder(r, prompt_), 0);
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

TEST_F(SpiRomTest, FamilyTwoHeaderLength) {
  chip_.bootHeaderLength = 48;
  for (size_t i = 0; i < 48; ++i) chip_.bootHeader[i] = static_cast<uint8_t>(i + 1);
  ASSERT_EQ(SpiRomBuilder(Request({{0, 500, "0x0", "System"}, {1, 9, "0x10000", "Data"}}, 2, false), prompt_),
            0);
  const auto rom = Out();
  EXPECT_EQ(Le32(rom, 8), 500u);
  EXPECT_EQ(Le32(rom, 4), 0x08070605u);
  EXPECT_EQ(rom[47], 48);
  EXPECT_TRUE(Holds(rom, 48, Pattern(500, 0)));
  EXPECT_EQ(Le32(rom, 0xFC00 + 12), 548u);  // the System record counts the header
  EXPECT_EQ(Le32(rom, 0xFC00 + 48 + 12), 9u);
}

TEST_F(SpiRomTest, MaximumLength) {
  // Offset mode: T = start + 64 KiB for an image below 64 KiB.
  struct Case {
    std::string start;
    int result;
  };
  const Case cases[] = {{"0x31F0000", 0}, {"0x31F0001", -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.start);
    File("out.bin", Pattern(10, 9));
    RecordingPrompt prompt;
    EXPECT_EQ(SpiRomBuilder(Request({{0, 10, "0x0", "System"}, {1, 10, c.start}}, 0, false), prompt),
              c.result);
    if (c.result == 0) {
      EXPECT_EQ(romtest::fs::file_size(Path("out.bin")), 52428800u);
    } else {
      EXPECT_EQ(prompt.Messages(), std::vector<std::string>{rom_text::kExceedMaxSize});
      EXPECT_EQ(Out(), Pattern(10, 9));
    }
    EXPECT_TRUE(Leftovers().empty());
  }
}

TEST_F(SpiRomTest, Refusals) {
  auto build = [&](const std::string& label, RecordingPrompt& prompt) {
    auto r = Request({{0, 10, "0x0", "System"}, {1, 10, "0x10000"}, {2, 10, "0x20000"}}, 0, false);
    if (label == "last image missing") romtest::fs::remove(Path("img2"));
    if (label == "boot image missing") romtest::fs::remove(Path("img0"));
    if (label == "middle image missing") romtest::fs::remove(Path("img1"));
    if (label == "target folder missing") {
      r.listFile = List("spirom.ini", {{"Target Image", {{"Image", Path("x/y.bin")}}},
                                       {"Image 0", {{"Image", Path("img0")}, {"Start", "0x0"}}}});
    }
    return SpiRomBuilder(r, prompt);
  };
  ExpectEachRefused({{"last image missing", rom_text::kCantOpenImage},
                     {"boot image missing", rom_text::kCantOpenBootloader},
                     {"middle image missing", rom_text::kCantOpenImage},
                     {"target folder missing", rom_text::kCantOpenTarget}},
                    build);
}

}  // namespace
}  // namespace zorbel
