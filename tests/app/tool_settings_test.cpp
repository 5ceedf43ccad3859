#include "app/tool_settings.h"

#include <sstream>
#include <tuple>
#include <utility>

#include "app/byte_order.h"
#include "app/paths.h"
#include "app/profile_reader.h"
#include "app/test_table.h"
#include "app/test_temp_folder.h"

namespace zorbel {
namespace {

namespace fs = std::filesystem;

using namespace testing;

uint32_t Hex(const std::string& text) { return static_cast<uint32_t>(std::stoul(text, nullptr, 16)); }

ProfileReader ReaderOf(const std::string& path) {
  ProfileReader reader;
  reader.SetPath(path);
  return reader;
}

std::string UserDefine(int lines) {
  std::ostringstream text;
  text << "[USER_DEFINE]\n" << std::hex;
  for (int i = 0; i < lines; ++i)
    text << 0x1000 + 4 * i << '=' << 0xA0000000u + static_cast<uint32_t>(i) << '\n';
  return text.str();
}

// The words, four little-endian bytes each.
std::vector<uint8_t> LeBytes(const std::vector<uint32_t>& words) {
  std::vector<uint8_t> bytes;
  for (uint32_t w : words) AppendLe32(bytes, w);
  return bytes;
}

// ---- "Zorbel.ini" ------------------------------------------------------------

// One "Zorbel.ini", written and read into one state as Connect reads it.
class ChipSettingsTest : public ::testing::Test {
 protected:
  int Read(const std::string& ini, std::string* error = nullptr) {
    WriteBytes(path_, ini);
    return ReadChipSettings(state_, path_, error);
  }
  std::vector<uint8_t> Header() const {
    return {Chip().SystemImageHeader().begin(), Chip().SystemImageHeader().end()};
  }
  const ChipSettings& Chip() const { return state_.chip; }
  static auto Fields(const ChipSettings& c) {
    return std::tie(c.addressWord, c.dqsodsWord, c.ckdqsdsWord, c.clockSkew, c.registers, c.bootHeader,
                    c.bootHeaderLength);
  }
  void Start(uint32_t family, uint8_t fill) {
    state_ = {};
    state_.chipFamily = family;
    state_.chip.bootHeader.fill(fill);
  }

  TempFolder dir_;
  const std::string path_ = dir_.File("Zorbel.ini");
  ToolState state_;
};

TEST_F(ChipSettingsTest, Family1BuildsTheClockSkewHeader) {
  // label, file, ADDRESS, DQSODS, CKDQSDS
  for (const auto& row : LoadTable("app/chip_family1.tsv")) {
    SCOPED_TRACE(row[0]);
    Start(1, 0xEE);
    // Words of an earlier read that the file does not give are cleared.
    state_.chip.addressWord = 0x77777777;
    state_.chip.dqsodsWord = 0x77777777;
    state_.chip.ckdqsdsWord = 0x77777777;
    std::string error;
    ASSERT_EQ(Read(row[1], &error), kChipSettingsRead);
    EXPECT_EQ(error, "");
    EXPECT_TRUE(Chip().clockSkew);
    const std::vector<uint32_t> words = {Hex(row[2]), Hex(row[3]), Hex(row[4])};
    EXPECT_EQ((std::vector<uint32_t>{Chip().addressWord, Chip().dqsodsWord, Chip().ckdqsdsWord}), words);
    EXPECT_EQ(Header(), LeBytes({0x514B5AA5u, words[0], 0u, 0xA55A4B51u, words[1], words[2], 0u, 0u}));
  }
}

TEST_F(ChipSettingsTest, UserDefineLinesFillTheHeaderRoundedTo16) {
  // Register lines (-1: no section at all) and the header length they make.
  const std::pair<int, uint32_t> cases[] = {{-1, 16}, {0, 16}, {1, 32},   {2, 48},
                                            {3, 48},  {4, 64}, {100, 832}};
  for (uint32_t family : {2u, 3u}) {
    for (const auto& [lines, length] : cases) {
      SCOPED_TRACE(::testing::Message() << "family " << family << ", " << lines << " lines");
      Start(family, 0xEE);  // rounding bytes must be zeroed, not left over
      ASSERT_EQ(Read("[ADDRESS]\nADDRESS=80000000\n" + (lines < 0 ? "" : UserDefine(lines))),
                kChipSettingsRead);
      std::vector<RegisterWrite> sent;
      for (int i = 0; i < lines; ++i) sent.push_back({0x1000 + 4u * i, 0xA0000000u + i});
      EXPECT_EQ(Chip().registers, sent);
      EXPECT_FALSE(Chip().clockSkew);
      // Offset 12 is not these families': it keeps what was there.
      std::vector<uint32_t> words = {0x514B5AA5u, 0x80000000u, 0u, 0xEEEEEEEEu};
      if (!sent.empty()) words.insert(words.end(), {0xAA55AA55u, static_cast<uint32_t>(sent.size())});
      for (const RegisterWrite& r : sent) words.insert(words.end(), {r.address, r.value});
      std::vector<uint8_t> expected = LeBytes(words);
      expected.resize(length, 0);
      EXPECT_EQ(Header(), expected);
    }
  }
}

TEST_F(ChipSettingsTest, ReadsKeepWhatTheyDoNotRewriteAndSendNoMarkerAddress) {
  for (const auto& row : LoadTable("app/chip_reads.tsv")) {
    SCOPED_TRACE(row[0]);
    if (row[1] == "fresh") Start(0, 0);
    state_.chipFamily = std::stoul(row[2]);
    ASSERT_EQ(Read(row[3]), kChipSettingsRead);
    EXPECT_EQ(Header(), std::vector<uint8_t>(row[4].begin(), row[4].end()));
    std::ostringstream sent;
    sent << std::hex;
    for (const RegisterWrite& r : Chip().registers)
      sent << (sent.tellp() > 0 ? " " : "") << r.address << '=' << r.value;
    EXPECT_EQ(sent.str(), row[5]);
    EXPECT_EQ(Chip().clockSkew, row[6] == "yes");
  }
}

TEST_F(ChipSettingsTest, BadOrMissingFilesChangeNothing) {
  const std::map<std::string, int> verdicts = {
      {"read", kChipSettingsRead}, {"missing", kChipSettingsMissing}, {"refused", kChipSettingsRefused}};
  // label, family, file (<none>: no file, <folder>: a folder in its place), verdict
  for (const auto& row : LoadTable("app/chip_refused.tsv")) {
    SCOPED_TRACE(row[0]);
    fs::remove_all(path_);
    if (row[2] == "<folder>") fs::create_directories(path_);
    if (row[2] != "<none>" && row[2] != "<folder>")
      WriteBytes(path_, row[2] == "<101 lines>" ? UserDefine(101) : row[2]);
    Start(std::stoul(row[1]), 0x5C);
    state_.chip.addressWord = 0x1234;
    state_.chip.registers = {{1, 2}};
    state_.chip.bootHeaderLength = 48;
    const ChipSettings before = Chip();
    std::string error;
    EXPECT_EQ(ReadChipSettings(state_, path_, &error), verdicts.at(row[3]));
    EXPECT_EQ(error.empty(), row[3] != "refused") << error;
    EXPECT_EQ(Fields(Chip()), Fields(before));
  }
}

// ---- "ZorbelSD.ini" ----------------------------------------------------------

TEST(SdPortTest, ReadTakesTheLineAfterTheHeaderWithinRange) {
  TempFolder dir;
  const std::string path = dir.File("ZorbelSD.ini");
  // label, file (<none>: no file; <folder>: a folder in its place), port read (9: the port before the read)
  for (const auto& row : LoadTable("app/sd_port.tsv")) {
    fs::remove_all(path);
    if (row[1] == "<folder>") fs::create_directories(path);
    if (row[1] != "<none>" && row[1] != "<folder>") WriteBytes(path, row[1]);
    ToolState state;
    state.sdPort = 9;
    EXPECT_EQ(ReadSdPort(state, path), row[1] != "<none>" && row[1] != "<folder>") << row[0];
    EXPECT_EQ(state.sdPort, std::stoul(row[2])) << row[0];
  }
}

TEST(SdPortTest, WriteReplacesTheFile) {
  TempFolder dir;
  const std::string path = dir.File("ZorbelSD.ini");
  WriteBytes(path, "[SD_Port]\n2\nold text that must go\n");
  for (uint32_t port : {0u, 1u, 2u}) {
    ToolState state;
    state.sdPort = port;
    ASSERT_TRUE(WriteSdPort(state, path));
    EXPECT_EQ(ReadBytes(path), TextFileBytes("[SD_Port]\r\n" + std::to_string(port) + "\r\n\n"));
  }
  EXPECT_FALSE(WriteSdPort(ToolState{}, dir.File("no/folder/ZorbelSD.ini")));
}

// ---- "path.ini" --------------------------------------------------------------

TEST(RememberedFolderTest, FallsBackToDriveCAndStoresTheFolderOfTheChosenFile) {
  TempFolder dir;
  const std::string path = ModuleFile(dir.Folder(), kPathFile);
  ProfileReader unread = ReaderOf(path);
  EXPECT_EQ(RememberedFolder(unread, PageFolderKey::kNand), "c:");

  WriteBytes(path, "[PATH]\nNOR=/kept/\nNAND=C:\\roms\\\n");
  // How a path splits is PathsTest's; here the folder must reach the file.
  for (const auto& c : std::vector<std::vector<std::string>>{
           {PageFolderKey::kSdram, "C:\\work\\images\\app.bin", "C:\\work\\images\\"},
           {PageFolderKey::kSdCard, "file.bin", ""}}) {
    ProfileReader reader = ReaderOf(path);
    EXPECT_EQ(RememberedFolder(reader, PageFolderKey::kNand), "C:\\roms\\");
    EXPECT_EQ(RememberedFolder(reader, PageFolderKey::kSpi), "");
    ASSERT_TRUE(RememberFolder(reader, c[0], c[1])) << c[1];
    ProfileReader back = ReaderOf(path);
    EXPECT_EQ(RememberedFolder(back, c[0]), c[2]) << c[1];
    EXPECT_EQ(RememberedFolder(back, PageFolderKey::kNor), "/kept/") << c[1];
  }
}

TEST(PathsTest, SplitsAndJoinsWithEitherSeparator) {
  // path, folder part, file name part
  for (const auto& row : LoadTable("app/paths.tsv")) {
    EXPECT_EQ(FolderPart(row[0]), row[1]) << row[0];
    EXPECT_EQ(FileNamePart(row[0]), row[2]) << row[0];
    EXPECT_EQ(ModuleFile(row[1], row[2]), row[0]) << row[0];
  }
  // A folder without its separator gets one.
  EXPECT_EQ(ModuleFile("/opt/zorbel", "NAND ID.ini"), "/opt/zorbel/NAND ID.ini");
}

}  // namespace
}  // namespace zorbel
