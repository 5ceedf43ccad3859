#include "rom/rom_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "app/test_table.h"
#include "rom/rom_messages.h"
#include "rom_test_support.h"

namespace zorbel {
namespace {

using romtest::Pattern;
using romtest::ReadFileBytes;
namespace text = rom_list_text;

class RomListTest : public romtest::RomFolder {
 protected:
  RomList List(RomListKind kind, RomListOptions options = {}) { return RomList(kind, Path("list.ini"), options); }
  std::string ListText() const {
    const auto bytes = ReadFileBytes(dir_ / "list.ini");
    return {bytes.begin(), bytes.end()};
  }
  RomImage Image(int number, RomImageKind kind = RomImageKind::kSystem, std::string start = "0") {
    RomImage image;
    image.number = number;
    image.path = File("i" + std::to_string(number) + ".bin", Pattern(70000, 1));
    image.name = "i" + std::to_string(number);
    image.kind = kind;
    image.exec = "200";
    image.start = std::move(start);
    return image;
  }
};

TEST(RomImageName, CutsByFamilyModeInCharacters) {
  for (const auto& row : testing::LoadTable("rom/image_names.tsv")) {
    EXPECT_EQ(RomImageName(row[0], static_cast<uint32_t>(std::stoul(row[1]))), row[2]) << row[0];
  }
}

TEST_F(RomListTest, AddWritesEachMediumsKeysInOrderAndAppendsItsRow) {
  RomImage nor = Image(3);
  nor.base = "00030000";
  nor.load = "00200000";
  nor.romfs = nor.active = nor.file = true;
  const std::string norPath = nor.path;
  const struct {
    RomListKind kind;
    RomListOptions options;
    RomImage image;
    std::string file;
    std::vector<std::string> row;
  } cases[] = {
      {RomListKind::kNor, {}, nor,
       "[Image 3]\nImage=" + norPath +
           "\nName=i3\nBase=0x00030000\nLoad=0x00200000\nActive=1\nCopy to RAM=0\nExecution=0\n"
           "Compressed=0\nFile=1\nROMFS=1\nNo Footer=0\n\n",
       {"3", "i3", "afr", "0x00030000", "0x00200000"}},
      // 70000 + 16 bytes in 16 KiB blocks from block 4: blocks 4 to 8.
      {RomListKind::kNand, {0, 16384, false}, Image(0, RomImageKind::kSystem, "4"),
       "[Image 0]\nImage=" + Path("i0.bin") +
           "\nName=i0\nExec=0x200\nStart=0x4\nData=0\nExecution=0\nSystem=1\nROMFS=0\nEnd=0x8\n\n",
       {"0", "i0", "system", "0x200", "0x4", "0x8"}},
      {RomListKind::kSpi, {}, Image(0, RomImageKind::kSystem, "0"),
       "[Image 0]\nImage=" + Path("i0.bin") +
           "\nName=i0\nExec= \nStart=0x0\nData=0\nExecution=0\nSystem=1\nROMFS=0\nLogo=0\nEnd=0x20000\n\n",
       {"0", "i0", "system", " ", "0x0", "0x20000"}},
      {RomListKind::kSpi, {0, 16384, true}, Image(0, RomImageKind::kSystem, "3"),
       "[Image 0]\nImage=" + Path("i0.bin") +
           "\nName=i0\nExec= \nStart=0x3\nData=0\nExecution=0\nSystem=1\nROMFS=0\nLogo=0\nEnd=0x4\n\n",
       {"0", "i0", "system", " ", "0x3", "0x4"}},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(dir_ / "list.ini");
    RecordingPrompt prompt;
    const auto row = List(c.kind, c.options).Add(c.image, prompt);
    ASSERT_TRUE(row) << c.file;
    EXPECT_EQ(row->columns, c.row);
    EXPECT_EQ(ListText(), testing::TextFileBytes(c.file));
    EXPECT_EQ(List(c.kind).Rows(), std::vector<RomListRow>{*row});
  }
}

TEST_F(RomListTest, ImageChecksRefuseInTheirOrder) {
  RecordingPrompt setup;
  ASSERT_TRUE(List(RomListKind::kSpi).Add(Image(0), setup));
  RomImage noName = Image(2, RomImageKind::kData, "10000");
  noName.name.clear();
  RomImage noFile = Image(2, RomImageKind::kData, "10000");
  noFile.path.clear();
  const struct {
    RomListKind kind;
    bool bankMode;
    RomImage image;
    int previous;
    const char* message;  // null: accepted
  } cases[] = {
      {RomListKind::kNor, false, Image(0), -1, text::kNumberRangeNor},
      {RomListKind::kNand, false, Image(8), -1, text::kNumberRange},
      {RomListKind::kSpi, false, Image(0), -1, text::kDuplicate},
      {RomListKind::kSpi, false, Image(0), 0, nullptr},  // modified under its own number
      {RomListKind::kSpi, false, noName, -1, text::kChooseImage},
      {RomListKind::kSpi, false, noFile, -1, text::kChooseImage},
      {RomListKind::kNand, false, Image(0, RomImageKind::kRomfs), 0, text::kImage0System},
      {RomListKind::kSpi, false, Image(2, RomImageKind::kData, ""), -1, text::kEnterStart},
      {RomListKind::kSpi, false, Image(2, RomImageKind::kData, "18000"), -1, text::kStart64k},
      {RomListKind::kSpi, true, Image(2, RomImageKind::kData, "3"), -1, nullptr},
      {RomListKind::kNand, false, Image(2, RomImageKind::kData, "3"), -1, nullptr},
  };
  for (const auto& c : cases) {
    RecordingPrompt prompt;
    EXPECT_EQ(List(c.kind, {0, 16384, c.bankMode}).CheckImage(c.image, c.previous, prompt), c.message == nullptr);
    EXPECT_EQ(prompt.Messages(), c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{})
        << c.image.number;
  }
}

TEST_F(RomListTest, ModifyMovesImage3ToImage5AndRemoveDeletesTheSection) {
  RecordingPrompt prompt;
  const RomList list = List(RomListKind::kNand);
  ASSERT_TRUE(list.Add(Image(0), prompt));
  ASSERT_TRUE(list.Add(Image(3, RomImageKind::kExecute, "40"), prompt));
  const auto row = list.Modify(3, Image(5, RomImageKind::kRomfs, "40"), prompt);
  ASSERT_TRUE(row);
  EXPECT_FALSE(list.Image(3));
  EXPECT_EQ(list.Image(5)->kind, RomImageKind::kRomfs);
  EXPECT_EQ(list.Image(5)->start, "40");
  EXPECT_TRUE(list.Remove(0, prompt));
  ASSERT_EQ(list.Rows().size(), 1u);
  EXPECT_EQ(list.Rows()[0].number, 5);
  EXPECT_TRUE(prompt.Messages().empty());
  // A NAND list without [Image 0] cannot be made.
  EXPECT_FALSE(list.CheckMakeable(prompt));
  EXPECT_EQ(prompt.Messages(), std::vector<std::string>{text::kNoImage0});
}

TEST_F(RomListTest, UnreadableListFileIsLeftAsItIs) {
  // A folder where the list file should be: it exists but cannot be read.
  std::filesystem::create_directory(dir_ / "list.ini");
  const std::string inside = File("list.ini/keep", Pattern(100, 3));
  const RomList list = List(RomListKind::kNor);
  const std::vector<std::pair<const char*, std::function<bool(UserPrompt&)>>> edits = {
      {"add", [&](UserPrompt& p) { return list.Add(Image(1), p).has_value(); }},
      {"modify", [&](UserPrompt& p) { return list.Modify(1, Image(2), p).has_value(); }},
      {"remove", [&](UserPrompt& p) { return list.Remove(1, p); }},
      {"add phy", [&](UserPrompt& p) { return list.AddPhy("LAN8700", p); }},
      {"delete phy", [&](UserPrompt& p) { return list.DeletePhy(2, "LAN8700", p); }},
  };
  for (const auto& [label, edit] : edits) {
    RecordingPrompt prompt;
    EXPECT_FALSE(edit(prompt)) << label;
    EXPECT_EQ(prompt.Messages(), std::vector<std::string>{text::kOpenConfigError}) << label;
  }
  RecordingPrompt prompt;
  EXPECT_FALSE(list.StoreBoot(list.LoadBoot(), Path("out.bin"), prompt));
  EXPECT_EQ(prompt.Messages(), std::vector<std::string>{rom_text::kCantOpenScript});
  EXPECT_EQ(ReadFileBytes(inside), Pattern(100, 3));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ / "list.ini"), {}), 1);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "list.ini.new~"));
}

TEST_F(RomListTest, MissingListFileStartsEmptyOnlyForAdditions) {
  const RomList list = List(RomListKind::kNor);
  RecordingPrompt prompt;
  EXPECT_FALSE(list.Remove(1, prompt));
  EXPECT_FALSE(list.Modify(1, Image(1), prompt));
  EXPECT_EQ(prompt.Messages(), std::vector<std::string>(2, text::kOpenConfigError));
  EXPECT_EQ(list.LoadBoot().phy, 0);  // the first built-in type, not none
  EXPECT_TRUE(list.AddPhy("LAN8700", prompt));
  EXPECT_EQ(ListText(), testing::TextFileBytes("[PHY]\nLAN8700=LAN8700\n\n"));
}

TEST_F(RomListTest, PhyTypes) {
  const RomList list = List(RomListKind::kNor);
  const RomList family = List(RomListKind::kNor, {1, 16384, false});
  const std::vector<std::string> entries = {"DM9161X", "IP101A"};
  const struct {
    const RomList* list;
    std::string name;
    const char* message;
  } names[] = {{&list, std::string(17, 'p'), text::kPhyTooLong16},
               {&family, std::string(17, 'p'), nullptr},
               {&family, std::string(33, 'p'), text::kPhyTooLong32},
               {&list, "ip101a", text::kPhyDuplicate}};
  for (const auto& c : names) {
    RecordingPrompt prompt;
    EXPECT_EQ(c.list->CheckPhyName(c.name, entries, prompt), c.message == nullptr) << c.name;
    EXPECT_EQ(prompt.Messages().size(), c.message ? 1u : 0u) << c.name;
  }
  RecordingPrompt prompt;
  ASSERT_TRUE(list.AddPhy("LAN8700", prompt));
  NorBootSettings boot = list.LoadBoot();
  boot.bootloaderPath = File("boot.bin", Pattern(10, 1));
  boot.mac = "00:11:22:33:44:55";
  boot.phy = 2;
  ASSERT_TRUE(list.StoreBoot(boot, Path("out.bin"), prompt));
  boot = list.LoadBoot();
  EXPECT_EQ(boot.phys, (std::vector<std::string>{"DM9161X", "IP101A", "LAN8700"}));
  EXPECT_EQ(boot.phy, 2);  // stored as 255: the last entry
  EXPECT_FALSE(list.DeletePhy(1, "IP101A", prompt));
  EXPECT_EQ(prompt.Messages(), std::vector<std::string>{text::kPhyDefault});
  ASSERT_TRUE(list.DeletePhy(2, "LAN8700", prompt));
  boot = list.LoadBoot();
  EXPECT_EQ(boot.phys, entries);
  EXPECT_EQ(boot.phy, 0);
}

TEST_F(RomListTest, NorMakeStoresBootSettingsOnlyWhenTheyHold) {
  const RomList list = List(RomListKind::kNor);
  RecordingPrompt prompt;
  ASSERT_TRUE(list.Add(Image(1), prompt));
  const std::string before = ListText();
  NorBootSettings boot = list.LoadBoot();
  EXPECT_FALSE(list.StoreBoot(boot, Path("out.bin"), prompt));  // no bootloader
  boot.bootloaderPath = File("boot.bin", Pattern(10, 1));
  boot.imageName = "boot";
  boot.mac = "00:11:22:33:44:5";
  EXPECT_FALSE(list.StoreBoot(boot, Path("out.bin"), prompt));
  EXPECT_EQ(prompt.Messages(), (std::vector<std::string>{text::kChooseBootloader, text::kInvalidMac}));
  EXPECT_EQ(ListText(), before);
  boot.mac += "5";
  boot.ip = {192, 168, 0, 7};
  ASSERT_TRUE(list.StoreBoot(boot, Path("out.bin"), prompt));
  const NorBootSettings back = list.LoadBoot();
  EXPECT_EQ(back.mac, boot.mac);
  EXPECT_EQ(back.ip, boot.ip);
  EXPECT_EQ(list.TargetFolder(), Path(""));
}

}  // namespace
}  // namespace zorbel
