#include "app/tool_settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/byte_order.h"
#include "app/paths.h"
#include "app/profile_reader.h"
#include "app/test_temp_folder.h"

namespace zorbel {
namespace {

namespace fs = std::filesystem;

using testing::ReadBytes;
using testing::TempFolder;
using testing::TextFileBytes;
using testing::WriteBytes;

uint32_t WordAt(const ChipSettings& chip, size_t offset) { return LoadLe32(chip.bootHeader.data() + offset); }

std::vector<uint8_t> HeaderBytes(const ChipSettings& chip) {
  const auto h = chip.SystemImageHeader();
  return {h.begin(), h.end()};
}

// ---- "Zorbel.ini", family 1 -------------------------------------------------

TEST(ChipSettingsTest, Family1BuildsTheClockSkewHeader) {
  struct Case {
    const char* label;
    std::string ini;
    uint32_t address, dqsods, ckdqsds;
  };
  const std::vector<Case> cases = {
      {"all keys", "[ADDRESS]\nADDRESS=30000000\n[CLOCK_SKEW]\nDQSODS=1234abcd\nCKDQSDS=00FF00FF\n",
       0x30000000, 0x1234ABCD, 0x00FF00FF},
      {"names in other case, blanks and a prefix",
       "[address]\n  Address = 0x40\n\n; memory timing\n[Clock_Skew]\ndqsods=5\nckdqsds = 6\n", 0x40, 5, 6},
      {"missing skew keys give 0", "[ADDRESS]\nADDRESS=1\n", 1, 0, 0},
      {"byte-order mark", "\xEF\xBB\xBF[ADDRESS]\nADDRESS=2\n", 2, 0, 0},
      {"first of two sections wins", "[ADDRESS]\nADDRESS=7\n[ADDRESS]\nADDRESS=8\n", 7, 0, 0},
      {"Windows line ends", "[ADDRESS]\r\nADDRESS=9\r\n[CLOCK_SKEW]\r\nDQSODS=a\r\nCKDQSDS=b\r\n", 9, 0xA,
       0xB},
  };
  TempFolder dir;
  for (const auto& c : cases) {
    ToolState state;
    state.chipFamily = 1;
    state.chip.bootHeader.fill(0xEE);
    state.chip.addressWord = 0x77777777;
    WriteBytes(dir.File("Zorbel.ini"), c.ini);
    std::string error;
    ASSERT_EQ(ReadChipSettings(state, dir.File("Zorbel.ini"), &error), kChipSettingsRead) << c.label;
    EXPECT_TRUE(error.empty()) << c.label;
    EXPECT_TRUE(state.chip.clockSkew) << c.label;
    EXPECT_EQ(state.chip.addressWord, c.address) << c.label;
    EXPECT_EQ(state.chip.dqsodsWord, c.dqsods) << c.label;
    EXPECT_EQ(state.chip.ckdqsdsWord, c.ckdqsds) << c.label;
    std::vector<uint8_t> expected;
    for (uint32_t w : {0x514B5AA5u, c.address, 0u, 0xA55A4B51u, c.dqsods, c.ckdqsds, 0u, 0u}) {
      AppendLe32(expected, w);
    }
    EXPECT_EQ(HeaderBytes(state.chip), expected) << c.label;
  }
}

// ---- "Zorbel.ini", families 2 and 3 ------------------------------------------

std::string UserDefine(int lines, uint32_t firstAddress = 0x1000) {
  std::string text = "[USER_DEFINE]\n";
  for (int i = 0; i < lines; ++i) {
    char line[40];
    std::snprintf(line, sizeof line, "%x=%x\n", firstAddress + 4 * static_cast<uint32_t>(i),
                  0xA0000000u + static_cast<uint32_t>(i));
    text += line;
  }
  return text;
}

TEST(ChipSettingsTest, UserDefineLinesFillTheHeaderRoundedTo16) {
  struct Case {
    const char* label;
    std::string section;
    uint32_t n;
    uint32_t length;
  };
  const std::vector<Case> cases = {
      {"missing section", "", 0, 16},
      {"empty section", "[USER_DEFINE]\n", 0, 16},
      {"one line", UserDefine(1), 1, 32},
      {"two lines", UserDefine(2), 2, 48},
      {"three lines", UserDefine(3), 3, 48},
      {"four lines", UserDefine(4), 4, 64},
      {"one hundred lines", UserDefine(100), 100, 832},
  };
  TempFolder dir;
  for (uint32_t family : {2u, 3u}) {
    for (const auto& c : cases) {
      ToolState state;
      state.chipFamily = family;
      state.chip.bootHeader.fill(0xEE);  // rounding bytes must be zeroed, not left over
      WriteBytes(dir.File("Zorbel.ini"), "[ADDRESS]\nADDRESS=80000000\n" + c.section);
      ASSERT_EQ(ReadChipSettings(state, dir.File("Zorbel.ini")), kChipSettingsRead) << c.label;
      EXPECT_EQ(state.chip.bootHeaderLength, c.length) << c.label;
      EXPECT_EQ(WordAt(state.chip, 0), 0x514B5AA5u) << c.label;
      EXPECT_EQ(WordAt(state.chip, 4), 0x80000000u) << c.label;
      EXPECT_EQ(WordAt(state.chip, 8), 0u) << c.label;
      EXPECT_EQ(WordAt(state.chip, 12), 0xEEEEEEEEu) << c.label << ": offset 12 is not this family's";
      EXPECT_FALSE(state.chip.clockSkew) << c.label;
      ASSERT_EQ(state.chip.registers.size(), c.n) << c.label;
      if (c.n == 0) continue;
      EXPECT_EQ(WordAt(state.chip, 16), 0xAA55AA55u) << c.label;
      EXPECT_EQ(WordAt(state.chip, 20), c.n) << c.label;
      for (uint32_t i = 0; i < c.n; ++i) {
        EXPECT_EQ(WordAt(state.chip, 24 + 8 * i), 0x1000 + 4 * i) << c.label << " line " << i;
        EXPECT_EQ(WordAt(state.chip, 28 + 8 * i), 0xA0000000u + i) << c.label << " line " << i;
        EXPECT_EQ(state.chip.registers[i], (RegisterWrite{0x1000 + 4 * i, 0xA0000000u + i})) << c.label;
      }
      for (uint32_t off = 24 + 8 * c.n; off < c.length; ++off) {
        EXPECT_EQ(state.chip.bootHeader[off], 0) << c.label << " rounding byte " << off;
      }
    }
  }
}

TEST(ChipSettingsTest, MarkerAddressStaysInTheHeaderButIsNotSent) {
  TempFolder dir;
  WriteBytes(dir.File("Zorbel.ini"), "[USER_DEFINE]\n10=1\n55AA55AA=0\n20=2=x\n 55aa55aa = 5\n");
  ToolState state;
  state.chipFamily = 2;
  ASSERT_EQ(ReadChipSettings(state, dir.File("Zorbel.ini")), kChipSettingsRead);
  EXPECT_EQ(WordAt(state.chip, 20), 4u);
  EXPECT_EQ(WordAt(state.chip, 32), 0x55AA55AAu);
  EXPECT_EQ(WordAt(state.chip, 40), 0x20u);
  EXPECT_EQ(WordAt(state.chip, 44), 2u);  // split at the first "="
  EXPECT_EQ(WordAt(state.chip, 48), 0x55AA55AAu);
  EXPECT_EQ(state.chip.bootHeaderLength, 64u);
  EXPECT_EQ(state.chip.registers, (std::vector<RegisterWrite>{{0x10, 1}, {0x20, 2}}));
}

TEST(ChipSettingsTest, LaterReadsKeepWhatTheyDoNotRewrite) {
  TempFolder dir;
  ToolState state;
  state.chipFamily = 1;
  WriteBytes(dir.File("Zorbel.ini"), "[ADDRESS]\nADDRESS=11\n[CLOCK_SKEW]\nDQSODS=1\nCKDQSDS=2\n");
  ASSERT_EQ(ReadChipSettings(state, dir.File("Zorbel.ini")), kChipSettingsRead);

  // Family 2 without ADDRESS: the earlier address stays, and offset 12 keeps
  // what the family-1 header put there.
  state.chipFamily = 2;
  WriteBytes(dir.File("Zorbel.ini"), UserDefine(2));
  ASSERT_EQ(ReadChipSettings(state, dir.File("Zorbel.ini")), kChipSettingsRead);
  EXPECT_EQ(WordAt(state.chip, 4), 0x11u);
  EXPECT_EQ(WordAt(state.chip, 12), 0xA55A4B51u);
  EXPECT_TRUE(state.chip.clockSkew);
  EXPECT_EQ(state.chip.registers.size(), 2u);

  // An emptied section leaves no registers of the earlier read to be sent.
  WriteBytes(dir.File("Zorbel.ini"), "[ADDRESS]\nADDRESS=\n[USER_DEFINE]\n");
  ASSERT_EQ(ReadChipSettings(state, dir.File("Zorbel.ini")), kChipSettingsRead);
  EXPECT_EQ(state.chip.bootHeaderLength, 16u);
  EXPECT_TRUE(state.chip.registers.empty());
  EXPECT_EQ(WordAt(state.chip, 4), 0x11u);

  // Family 1 again starts from cleared words.
  state.chipFamily = 1;
  WriteBytes(dir.File("Zorbel.ini"), "[CLOCK_SKEW]\nDQSODS=3\n");
  ASSERT_EQ(ReadChipSettings(state, dir.File("Zorbel.ini")), kChipSettingsRead);
  EXPECT_EQ(state.chip.addressWord, 0u);
  EXPECT_EQ(state.chip.ckdqsdsWord, 0u);
  EXPECT_EQ(state.chip.bootHeaderLength, 32u);
}

TEST(ChipSettingsTest, BadOrMissingFilesChangeNothing) {
  struct Case {
    const char* label;
    uint32_t family;
    const char* ini;  // null: no file
    int result;
    bool hasError;
  };
  const std::string tooMany = UserDefine(101);
  const std::vector<Case> cases = {
      {"missing file", 2, nullptr, kChipSettingsMissing, false},
      {"a folder in the file's place", 1, "", kChipSettingsMissing, false},
      {"101 register lines", 2, tooMany.c_str(), kChipSettingsRefused, true},
      {"line without equals", 3, "[USER_DEFINE]\n10=1\n20\n", kChipSettingsRefused, true},
      {"value not hexadecimal", 2, "[USER_DEFINE]\n10=zz\n", kChipSettingsRefused, true},
      {"value beyond 32 bits", 2, "[USER_DEFINE]\n10=100000000\n", kChipSettingsRefused, true},
      {"address not hexadecimal", 1, "[ADDRESS]\nADDRESS=none\n", kChipSettingsRefused, true},
      {"skew word not hexadecimal", 1, "[CLOCK_SKEW]\nDQSODS=-\n", kChipSettingsRefused, true},
      {"family 0 reads nothing", 0, "[ADDRESS]\nADDRESS=5\n", kChipSettingsRead, false},
      {"unknown family reads nothing", 4, "[ADDRESS]\nADDRESS=5\n", kChipSettingsRead, false},
  };
  TempFolder dir;
  for (const auto& c : cases) {
    const std::string path = dir.File("Zorbel.ini");
    fs::remove(path);
    if (c.ini != nullptr && *c.ini == '\0') {
      fs::create_directories(path);
    } else if (c.ini != nullptr) {
      WriteBytes(path, c.ini);
    }
    ToolState state;
    state.chipFamily = c.family;
    state.chip.addressWord = 0x1234;
    state.chip.registers = {{1, 2}};
    state.chip.bootHeader.fill(0x5C);
    state.chip.bootHeaderLength = 48;
    const ChipSettings before = state.chip;
    std::string error;
    EXPECT_EQ(ReadChipSettings(state, path, &error), c.result) << c.label;
    EXPECT_EQ(!error.empty(), c.hasError) << c.label << ": " << error;
    EXPECT_EQ(state.chip.addressWord, before.addressWord) << c.label;
    EXPECT_EQ(state.chip.registers, before.registers) << c.label;
    EXPECT_EQ(state.chip.bootHeader, before.bootHeader) << c.label;
    EXPECT_EQ(state.chip.bootHeaderLength, before.bootHeaderLength) << c.label;
    EXPECT_FALSE(state.chip.clockSkew) << c.label;
    fs::remove_all(path);
  }
}

// ---- "ZorbelSD.ini" ----------------------------------------------------------

TEST(SdPortTest, ReadTakesTheLineAfterTheHeaderWithinRange) {
  struct Case {
    const char* label;
    std::string file;
    uint32_t port;
  };
  const std::vector<Case> cases = {
      {"as written here", "[SD_Port]\r\n1\r\n\n", 1},
      {"as written on Windows", "[SD_Port]\r\r\n2\r\r\n\r\n", 2},
      {"zero", "[SD_Port]\n0\n", 0},
      {"three is capped", "[SD_Port]\n3\n", 2},
      {"seven is capped", "[SD_Port]\n7\n", 2},
      {"negative gives 0", "[SD_Port]\n-1\n", 0},
      {"huge number", "[SD_Port]\n99999999999999999999999\n", 2},
      {"leading blanks and trailing text", "[SD_Port]\n  1 port\n", 1},
      {"no number", "[SD_Port]\nabc\n", 0},
      {"header inside a longer line", "x [SD_Port] y\n2\n", 2},
      {"header as the last line", "[SD_Port]", 0},
      {"first header wins", "[SD_Port]\n1\n[SD_Port]\n2\n", 1},
      {"no header keeps the port", "[Other]\n1\n", 9},
  };
  TempFolder dir;
  for (const auto& c : cases) {
    WriteBytes(dir.File("ZorbelSD.ini"), c.file);
    ToolState state;
    state.sdPort = 9;
    EXPECT_TRUE(ReadSdPort(state, dir.File("ZorbelSD.ini"))) << c.label;
    EXPECT_EQ(state.sdPort, c.port) << c.label;
  }

  for (const char* unreadable : {"missing.ini", "folder.ini"}) {
    fs::create_directories(dir.File("folder.ini"));
    ToolState state;
    state.sdPort = 2;
    EXPECT_FALSE(ReadSdPort(state, dir.File(unreadable))) << unreadable;
    EXPECT_EQ(state.sdPort, 0u) << unreadable;
  }
}

TEST(SdPortTest, WriteReplacesTheFileAndReadsBack) {
  TempFolder dir;
  const std::string path = dir.File("ZorbelSD.ini");
  WriteBytes(path, "[SD_Port]\n2\nold text that must go\n");
  for (uint32_t port : {0u, 1u, 2u}) {
    ToolState state;
    state.sdPort = port;
    ASSERT_TRUE(WriteSdPort(state, path));
    EXPECT_EQ(ReadBytes(path), TextFileBytes("[SD_Port]\r\n" + std::to_string(port) + "\r\n\n"));
    ToolState back;
    back.sdPort = 7;
    ASSERT_TRUE(ReadSdPort(back, path));
    EXPECT_EQ(back.sdPort, port);
  }
  ToolState state;
  EXPECT_FALSE(WriteSdPort(state, dir.File("no/folder/ZorbelSD.ini")));
}

// ---- "path.ini" --------------------------------------------------------------

TEST(RememberedFolderTest, FallsBackToDriveCWhenTheFileCannotBeRead) {
  TempFolder dir;
  ProfileReader reader;
  reader.SetPath(ModuleFile(dir.Folder(), kPathFile));
  EXPECT_EQ(RememberedFolder(reader, PageFolderKey::kNand), "c:");

  WriteBytes(dir.File("path.ini"), "[PATH]\nSD card=/media/card/\nNAND=C:\\roms\\\n");
  ProfileReader fresh;
  fresh.SetPath(ModuleFile(dir.Folder(), kPathFile));
  EXPECT_EQ(RememberedFolder(fresh, PageFolderKey::kSdCard), "/media/card/");
  EXPECT_EQ(RememberedFolder(fresh, PageFolderKey::kNand), "C:\\roms\\");
  EXPECT_EQ(RememberedFolder(fresh, PageFolderKey::kSpi), "");
}

TEST(RememberedFolderTest, StoresTheFolderOfTheChosenFile) {
  struct Case {
    const char* key;
    std::string chosen;
    std::string folder;
  };
  // How a path splits is PathsTest's; here the folder must reach the file.
  const std::vector<Case> cases = {
      {PageFolderKey::kSdram, "C:\\work\\images\\app.bin", "C:\\work\\images\\"},
      {PageFolderKey::kSdCard, "file.bin", ""},
  };
  TempFolder dir;
  const std::string path = ModuleFile(dir.Folder(), kPathFile);
  WriteBytes(path, "[PATH]\nNOR=/kept/\n");
  for (const auto& c : cases) {
    ProfileReader reader;
    reader.SetPath(path);
    RememberedFolder(reader, c.key);
    ASSERT_TRUE(RememberFolder(reader, c.key, c.chosen)) << c.chosen;
    ProfileReader back;
    back.SetPath(path);
    EXPECT_EQ(RememberedFolder(back, c.key), c.folder) << c.chosen;
    EXPECT_EQ(RememberedFolder(back, PageFolderKey::kNor), "/kept/") << c.chosen;
  }
}

TEST(PathsTest, SplitsAndJoinsWithEitherSeparator) {
  struct Case {
    std::string path, folder, name;
  };
  const std::vector<Case> cases = {
      {"C:\\a\\b.bin", "C:\\a\\", "b.bin"},
      {"/a/b/c", "/a/b/", "c"},
      {"/root.bin", "/", "root.bin"},
      {"a\\b/c", "a\\b/", "c"},
      {"name", "", "name"},
      {"dir/", "dir/", ""},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FolderPart(c.path), c.folder) << c.path;
    EXPECT_EQ(FileNamePart(c.path), c.name) << c.path;
  }
  EXPECT_EQ(ModuleFile("/opt/zorbel/", "Zorbel.ini"), "/opt/zorbel/Zorbel.ini");
  EXPECT_EQ(ModuleFile("C:\\tool\\", "path.ini"), "C:\\tool\\path.ini");
  EXPECT_EQ(ModuleFile("/opt/zorbel", "NAND ID.ini"), "/opt/zorbel/NAND ID.ini");
  EXPECT_EQ(ModuleFile("", "t.bin"), "t.bin");
}

}  // namespace
}  // namespace zorbel
