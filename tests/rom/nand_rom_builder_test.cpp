#include "rom/nand_rom_builder.h"

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

struct Img {
  int number;
  size_t size;
  std::string start;
  std::string kind = "Data";
  std::vector<std::pair<std::string, std::string>> extra = {};
};

class NandRomTest : public romtest::RomFolder {
 protected:
  NandRomRequest Request(const std::vector<Img>& images, uint32_t count) {
    std::vector<Section> sections = {{"Target Image", {{"Image", Path("out.bin")}}}};
    for (const auto& img : images) {
      Section s{"Image " + std::to_string(img.number), {}};
      s.entries = {
          {"Image", File("img" + std::to_string(img.number), Pattern(img.size, uint8_t(img.number)))},
          {"Name", "n" + std::to_string(img.number)},
          {"Exec", "0x30000200"},
          {"Start", img.start},
          {"Data", "0"},
          {"Execution", "0"},
          {"System", "0"},
          {"ROMFS", "0"},
          {img.kind, "1"},
          {"End", "0x99"}};
      for (const auto& e : img.extra) s.entries.push_back(e);
      sections.push_back(s);
    }
    NandRomRequest r;
    r.listFile = List("nandrom.ini", sections);
    r.imageCount = count;
    return r;
  }

  RecordingPrompt prompt_;
};

TEST_F(NandRomTest, FillMakesLengthPlusSixteenWholeBlocks) {
  struct Case {
    size_t length;
    size_t fill;
  };
  const Case cases[] = {{16368, 0}, {16369, 16383}, {0, 16368}, {1000, 16384 - 1016}, {32752, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    ASSERT_EQ(NandRomBuilder(Request({{0, c.length, "0x0", "System"}, {1, 10, "0x10"}}, 2), prompt_), 0);
    const auto rom = Out();
    const size_t data = 12 + 64;
    EXPECT_EQ(Le32(rom, 12 + 56), c.length);
    EXPECT_TRUE(Holds(rom, data, Pattern(c.length, 0)));
    EXPECT_TRUE(AllFill(rom, data + c.length, data + c.length + c.fill));
    // The next image header follows the fill directly.
    const size_t next = data + c.length + c.fill;
    EXPECT_EQ(Le32(rom, next), 1u);
    EXPECT_EQ(rom.size(), next + 64 + 10 + (16384 - 26));
  }
}

TEST_F(NandRomTest, HeadersFieldByField) {
  ASSERT_EQ(NandRomBuilder(Request({{2, 100, "0x40", "Execution"}, {0, 50, "0x0", "System"}}, 5), prompt_),
            0);
  EXPECT_EQ(prompt_.Messages(), std::vector<std::string>{rom_text::kCreationSuccess});
  const auto rom = Out();
  ASSERT_TRUE(Holds(rom, 0, {'Q', 'K', 0x5A, 0xA5}));
  EXPECT_EQ(Le32(rom, 4), 5u);  // the dialog's row count, not the sections present
  EXPECT_EQ(Le32(rom, 8), 16384u);
  // Start order, not number order: Image 0 (start 0) first.
  struct Expect {
    size_t at;
    uint32_t number, kind, start, length;
  };
  const Expect heads[] = {{12, 0, 3, 0x0, 50}, {12 + 16384 - 16 + 64, 2, 1, 0x40, 100}};
  for (const auto& h : heads) {
    SCOPED_TRACE(h.number);
    EXPECT_EQ(Le32(rom, h.at + 0), h.number);
    EXPECT_EQ(Text(rom, h.at + 4, 32), "n" + std::to_string(h.number));
    EXPECT_EQ(Le32(rom, h.at + 36), h.kind);
    EXPECT_EQ(Le32(rom, h.at + 40), 0x30000200u);
    EXPECT_EQ(Le32(rom, h.at + 44), h.start);
    EXPECT_TRUE(Holds(rom, h.at + 48, {'Q', 'K', 0x5A, 0xA5}));
    EXPECT_EQ(Le32(rom, h.at + 52), 0x30000200u);
    EXPECT_EQ(Le32(rom, h.at + 56), h.length);
    EXPECT_EQ(Le32(rom, h.at + 60), 0u);
    EXPECT_TRUE(Holds(rom, h.at + 64, Pattern(h.length, uint8_t(h.number))));
  }
}

TEST_F(NandRomTest, KindNameAndNumbers) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> keys;
    uint32_t kind;
    std::string name;
    uint32_t exec;
  };
  const Case cases[] = {
      // The kinds are tested Data, Execution, ROMFS, System: the last non-zero wins.
      {{{"ROMFS", "1"}, {"Data", "1"}}, 2, "", 0},
      {{{"System", "2"}, {"Execution", "1"}}, 3, "", 0},
      {{{"Data", "0"}}, 0, "", 0},
      {{}, 0, "", 0},
      // 31 bytes of a longer name, so a terminating zero remains.
      {{{"Name", std::string(40, 'x')}}, 0, std::string(31, 'x'), 0},
      {{{"Exec", "0X1f"}}, 0, "", 0x1F},
  };
  for (const auto& c : cases) {
    Section image{"Image 1", {{"Image", File("img1", Pattern(4, 1))}}};
    for (const auto& k : c.keys) image.entries.push_back(k);
    NandRomRequest r;
    r.listFile = List("nandrom.ini", {{"Target Image", {{"Image", Path("out.bin")}}}, image});
    r.imageCount = 1;
    ASSERT_EQ(NandRomBuilder(r, prompt_), 0);
    const auto rom = Out();
    EXPECT_EQ(Le32(rom, 12 + 36), c.kind);
    EXPECT_EQ(Text(rom, 12 + 4, 32), c.name);
    EXPECT_EQ(rom[12 + 4 + 31], 0);
    EXPECT_EQ(Le32(rom, 12 + 40), c.exec);
    EXPECT_EQ(Le32(rom, 12 + 52), c.exec);
  }
}

TEST_F(NandRomTest, BlockSizeFromChoiceOrBoard) {
  struct Case {
    NandBlockChoice choice;
    bool connected;
    uint32_t board;
    uint32_t expected;
  };
  const Case cases[] = {
      {NandBlockChoice::k256k, false, 0, 262144},
      {NandBlockChoice::k128k, false, 16384, 131072},
      {NandBlockChoice::k16k, true, 131072, 131072},
      {NandBlockChoice::k256k, true, 16384, 16384},
  };
  for (const auto& c : cases) {
    NandRomRequest r = Request({{0, 1000, "0x0", "System"}, {3, 7, "0x9"}}, 2);
    r.choice = c.choice;
    r.vcomConnected = c.connected;
    r.boardBlockSize = c.board;
    EXPECT_EQ(NandRomBlockSize(r), c.expected);
    ASSERT_EQ(NandRomBuilder(r, prompt_), 0);
    const auto rom = Out();
    EXPECT_EQ(Le32(rom, 8), c.expected);
    EXPECT_EQ(rom.size(), 12 + (64 + c.expected - 16) * 2);
  }
}

TEST_F(NandRomTest, Refusals) {
  auto build = [&](const std::string& label, RecordingPrompt& prompt) {
    NandRomRequest r = Request({{0, 100, "0x0", "System"}}, 1);
    if (label == "board block size unknown") {
      r.vcomConnected = true;
      r.boardBlockSize = 0;
    }
    if (label == "image missing") romtest::fs::remove(Path("img0"));
    if (label == "list missing") r.listFile = Path("none.ini");
    if (label == "target folder missing") {
      r.listFile = List("nandrom.ini", {{"Target Image", {{"Image", Path("no/dir/out.bin")}}}});
    }
    return NandRomBuilder(r, prompt);
  };
  ExpectEachRefused({{"board block size unknown", rom_text::kInvalidBlockSize},
                     {"image missing", rom_text::kCantOpenImage},
                     {"target folder missing", rom_text::kCantOpenTarget},
                     {"list missing", rom_text::kCantOpenScript}},
                    build);
}

TEST(NandBlockChoiceTest, ComboTexts) {
  EXPECT_EQ(ParseNandBlockChoice("16k"), NandBlockChoice::k16k);
  EXPECT_EQ(ParseNandBlockChoice("128k"), NandBlockChoice::k128k);
  EXPECT_EQ(ParseNandBlockChoice("256k"), NandBlockChoice::k256k);
  EXPECT_EQ(ParseNandBlockChoice("64k"), std::nullopt);
  EXPECT_EQ(ParseNandBlockChoice("16K"), std::nullopt);
}

}  // namespace
}  // namespace zorbel
