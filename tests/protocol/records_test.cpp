#include "protocol/records.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/test_temp_folder.h"
#include "protocol/protocol_fixture.h"

namespace zorbel {
namespace {

// Read back with the tests' own helper, independent of the encoders'.
using testing::Le32;

template <size_t N>
std::vector<uint8_t> Bytes(const std::array<uint8_t, N>& a) {
  return {a.begin(), a.end()};
}

std::string TextAt(const std::vector<uint8_t>& b, size_t offset, size_t size) {
  return std::string(b.begin() + static_cast<std::ptrdiff_t>(offset),
                     b.begin() + static_cast<std::ptrdiff_t>(offset + size));
}

TEST(RecordsTest, RawHeadIsThreeLittleEndianWords) {
  const auto head = Bytes(EncodeRawHead({kSdramVcomCommand, 0x00012345, 0x30000000u | kSdramRunFlag}));
  EXPECT_EQ(head, (std::vector<uint8_t>{0, 0, 0, 0, 0x45, 0x23, 0x01, 0, 0, 0, 0, 0xB0}));
}

struct NameCase {
  const char* label;
  std::string name;
  std::string field32;  // expected 32-byte field
  std::string field16;  // expected 16 bytes of the short head
};

std::string Padded(const std::string& text, size_t size) {
  return text + std::string(size - text.size(), '\0');
}

TEST(RecordsTest, ImageNamesAreCutOrPaddedInBothLayouts) {
  const std::string a32(32, 'a');
  const std::string abc40 = "0123456789abcdefghijklmnopqrstuvWXYZWXYZ";
  const std::string e = "\xC3\xA9";  // a two-byte character
  const std::vector<NameCase> cases = {
      {"empty", "", Padded("", 32), Padded("", 16)},
      {"short", "boot", Padded("boot", 32), Padded("boot", 16)},
      {"31 bytes keep one terminator", std::string(31, 'n'), Padded(std::string(31, 'n'), 32),
       std::string(16, 'n')},
      {"32 bytes fill the field", a32, a32, std::string(16, 'a')},
      {"40 bytes are cut to 32", abc40, abc40.substr(0, 32), abc40.substr(0, 16)},
      {"a character across the cut is left out", std::string(31, 'x') + e, Padded(std::string(31, 'x'), 32),
       std::string(16, 'x')},
      {"a character across the short cut is left out", std::string(15, 'y') + e + "z",
       Padded(std::string(15, 'y') + e + "z", 32), Padded(std::string(15, 'y'), 16)},
  };
  for (const auto& c : cases) {
    ImageHeadFields f;
    f.name = c.name;
    f.type = 0x11223344;
    const auto longHead = Bytes(EncodeLongImageHead(f));
    const auto shortHead = Bytes(EncodeShortImageHead(f));
    EXPECT_EQ(TextAt(longHead, 12, 32), c.field32) << c.label;
    EXPECT_EQ(Le32(longHead, 44), 0x11223344u) << c.label << ": the type follows the name directly";
    EXPECT_EQ(TextAt(shortHead, 12, 16), c.field16) << c.label;
    EXPECT_EQ(Le32(shortHead, 28), 0x11223344u) << c.label;
  }
}

TEST(RecordsTest, ImageHeadFieldsSitAtTheirOffsets) {
  ImageHeadFields f;
  f.command = HeadCommand::kVerify;
  f.length = 0x0A0B0C0D;
  f.number = 7;
  f.name = "kernel";
  f.type = static_cast<uint32_t>(ImageKind::kExecute);
  f.execAddress = 0x80008000;
  f.start = 0x40;
  struct Case {
    uint32_t familyMode;
    size_t size, type;
  };
  for (const Case& c : {Case{1, 60, 44}, Case{0, 44, 28}}) {
    const auto head = EncodeImageHead(f, c.familyMode);
    ASSERT_EQ(head.size(), c.size);
    EXPECT_EQ(Le32(head, 0), 3u);
    EXPECT_EQ(Le32(head, 4), 0x0A0B0C0Du);
    EXPECT_EQ(Le32(head, 8), 7u);
    EXPECT_EQ(TextAt(head, 12, 7), std::string("kernel\0", 7));
    EXPECT_EQ(Le32(head, c.type), 1u);
    EXPECT_EQ(Le32(head, c.type + 4), 0x80008000u);
    EXPECT_EQ(Le32(head, c.type + 8), 0x40u);
    EXPECT_EQ(Le32(head, c.type + 12), 0u);
  }
}

TEST(RecordsTest, SystemImageBurnHeadCarriesNoNumberAddressOrStart) {
  struct Case {
    ImageKind kind;
    uint32_t number, exec, start;
  };
  const std::vector<Case> cases = {
      {ImageKind::kSystemImage, 0, 0, 0},     {ImageKind::kData, 5, 0x1234, 0x20},
      {ImageKind::kExecute, 5, 0x1234, 0x20}, {ImageKind::kRomFs, 5, 0x1234, 0x20},
      {ImageKind::kLogo, 5, 0x1234, 0x20},
  };
  for (const auto& c : cases) {
    ImageHeadFields f;
    f.number = 5;
    f.name = "sys";
    f.length = 100;
    f.type = static_cast<uint32_t>(c.kind);
    f.execAddress = 0x1234;
    f.start = 0x20;
    const auto head = Bytes(EncodeLongImageHead(WithSystemImageZeros(f)));
    EXPECT_EQ(Le32(head, 8), c.number) << static_cast<int>(c.kind);
    EXPECT_EQ(Le32(head, 48), c.exec) << static_cast<int>(c.kind);
    EXPECT_EQ(Le32(head, 52), c.start) << static_cast<int>(c.kind);
    EXPECT_EQ(Le32(head, 4), 100u) << static_cast<int>(c.kind);
    EXPECT_EQ(Le32(head, 44), static_cast<uint32_t>(c.kind));
  }
}

TEST(RecordsTest, EraseRangeHeadIsSixtyBytesInBothLayouts) {
  struct Case {
    uint32_t familyMode;
    size_t last, first;
  };
  for (const Case& c : {Case{1, 48, 52}, Case{0, 32, 36}}) {
    const auto head = EncodeEraseRangeHead(768, 1023, c.familyMode);
    ASSERT_EQ(head.size(), 60u);
    EXPECT_EQ(Le32(head, 0), 2u);
    EXPECT_EQ(Le32(head, 4), 0u);
    EXPECT_EQ(Le32(head, 8), 0xFFFFFFFFu);
    EXPECT_EQ(Le32(head, c.last), 1023u);
    EXPECT_EQ(Le32(head, c.first), 768u);
    for (size_t i = 12; i < 60; ++i) {
      if (i >= c.last && i < c.first + 4) continue;
      EXPECT_EQ(head[i], 0) << "familyMode " << c.familyMode << " byte " << i;
    }
  }
}

TEST(RecordsTest, ParameterBlocksSendOnlyTheLowSixteenBits) {
  struct Case {
    uint32_t size;
    std::vector<uint8_t> block;
  };
  const std::vector<Case> cases = {
      {16, {0x10, 0, 0, 0}},        {70000, {0x70, 0x11, 0, 0}},  // 70 000 & 0xFFFF = 4 464
      {0xFFFF, {0xFF, 0xFF, 0, 0}}, {0x10000, {0, 0, 0, 0}},     {0xFFFFFFFF, {0xFF, 0xFF, 0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(Bytes(EncodeReservedSize(c.size)), c.block) << c.size;
  EXPECT_EQ(Bytes(EncodeFormatFlag(true)), (std::vector<uint8_t>{1, 0}));
  EXPECT_EQ(Bytes(EncodeFormatFlag(false)), (std::vector<uint8_t>{0, 0}));
  EXPECT_EQ(Bytes(EncodeU32Parameter(0x01020304)), (std::vector<uint8_t>{4, 3, 2, 1}));
}

TEST(RecordsTest, BoardStatusWordsFailOnHighBitsAndCountTheirScope) {
  struct Case {
    uint32_t word;
    StatusScope scope;
    bool failed;
    uint32_t percent;
    bool done;
  };
  const std::vector<Case> cases = {
      {0x00000000, StatusScope::kImageBurn, false, 0, false},
      {0x00000063, StatusScope::kImageBurn, false, 99, false},
      {0x00000064, StatusScope::kImageBurn, false, 100, true},
      {0x00000132, StatusScope::kImageBurn, false, 0x32, false},  // only the low byte counts
      {0x00000164, StatusScope::kImageBurn, false, 100, true},
      {0x00000132, StatusScope::kRawOrErase, false, 0x132, false},
      {0x00000164, StatusScope::kRawOrErase, false, 0x164, false},
      {0x00000064, StatusScope::kRawOrErase, false, 100, true},
      {0x0000FF00, StatusScope::kImageBurn, false, 0, false},
      {0x00010064, StatusScope::kImageBurn, true, 0, false},
      {0x80000000, StatusScope::kRawOrErase, true, 0, false},
      {0xFFFF0000, StatusScope::kRawOrErase, true, 0, false},
  };
  for (const auto& c : cases) {
    const BoardStatus s = DecodeBoardStatus(c.word, c.scope);
    EXPECT_EQ(s.failed, c.failed) << std::hex << c.word;
    EXPECT_EQ(s.percent, c.percent) << std::hex << c.word;
    EXPECT_EQ(s.done, c.done) << std::hex << c.word;
  }
}

TEST(LoaderHeaderTest, ParsesFieldsAndVersionText) {
  struct Case {
    std::vector<uint8_t> bytes;
    bool ok, magic;
    uint32_t address, length;
    std::string version;
  };
  const std::vector<Case> cases = {
      {{'Q', 'K', 0x5A, 0xA5, 0x00, 0x60, 0xE7, 0xFF, 0x00, 0x00, 0x01, 0x00, 0x02, 0x15, 0x03, 0x24},
       true,
       true,
       0xFFE76000u,
       65536,
       " 2024/03/15-V02"},
      {{'Q', 'K', 0x5A, 0xA4, 1, 0, 0, 0, 2, 0, 0, 0, 0x10, 0x31, 0x12, 0x09, 0xEE},
       true,
       false,
       1,
       2,
       " 2009/12/31-V10"},
      {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAB, 0x0F, 0xFF, 0x00}, true, false, 0, 0, " 2000/ff/0f-Vab"},
      {std::vector<uint8_t>(15, 0x11), false, false, 0, 0, ""},
      {{}, false, false, 0, 0, ""},
  };
  for (const auto& c : cases) {
    LoaderImageHeader h;
    h.address = 0xDEADBEEF;
    ASSERT_EQ(ParseLoaderImageHeader(c.bytes, &h), c.ok) << c.bytes.size();
    if (!c.ok) {
      EXPECT_EQ(h.address, 0xDEADBEEFu) << "a refused header leaves the result alone";
      continue;
    }
    EXPECT_EQ(h.HasRomMagic(), c.magic);
    EXPECT_EQ(h.address, c.address);
    EXPECT_EQ(h.length, c.length);
    EXPECT_EQ(h.VersionText(), c.version);
  }
}

TEST(LoaderHeaderTest, FileShorterThanItsHeaderIsRefused) {
  const testing::TempFolder dir;
  const std::vector<uint8_t> header = {'Q', 'K', 0x5A, 0xA5, 0, 0, 0, 0x30, 0x10, 0, 0, 0, 1, 2, 3, 4};
  struct Case {
    size_t size;
    bool ok;
  };
  for (const Case& c : {Case{0, false}, Case{15, false}, Case{16, true}, Case{40, true}}) {
    const std::string path = dir.File("musb" + std::to_string(c.size) + ".bin");
    std::string bytes(c.size, '\x77');
    for (size_t i = 0; i < c.size && i < header.size(); ++i) bytes[i] = static_cast<char>(header[i]);
    testing::WriteBytes(path, bytes);
    LoaderImageHeader h;
    std::string error;
    EXPECT_EQ(ReadLoaderImageHeader(path, &h, &error), c.ok) << c.size;
    EXPECT_EQ(error.empty(), c.ok) << c.size;
    if (c.ok) {
      EXPECT_EQ(h.address, 0x30000000u);
      EXPECT_EQ(h.length, 16u);
      EXPECT_EQ(h.VersionText(), " 2004/03/02-V01");
    }
  }
  LoaderImageHeader h;
  std::string error;
  for (const char* unreadable : {"absent.bin", "folder.bin"}) {
    std::filesystem::create_directories(dir.File("folder.bin"));
    error.clear();
    EXPECT_FALSE(ReadLoaderImageHeader(dir.File(unreadable), &h, &error)) << unreadable;
    EXPECT_NE(error.find("cannot open"), std::string::npos) << unreadable;
  }
}

}  // namespace
}  // namespace zorbel
