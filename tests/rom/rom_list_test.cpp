#include "rom/rom_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

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
  RomList List(RomListKind kind, RomListOptions options = {}) {
    return RomList(kind, Path("list.ini"), options);
  }
  std::string ListText() const { return testing::ReadBytes(dir_ / "list.ini"); }
  RomImage Image(int number, RomImageKind kind = RomImageKind::kSystem, std::string start = "0") {
    const std::string name = "i" + std::to_string(number);
    return {.number = number,
            .path = File(name + ".bin", Pattern(70000, 1)),
            .name = name,
            .kind = kind,
            .exec = "200",
            .start = std::move(start)};
  }
};

const std::map<std::string, RomListKind> kListKinds = {
    {"nor", RomListKind::kNor}, {"nand", RomListKind::kNand}, {"spi", RomListKind::kSpi}};
const std::map<std::string, RomImageKind> kImageKinds = {
    {"system", RomImageKind::kSystem}, {"data", RomImageKind::kData}, {"romfs", RomImageKind::kRomfs}};

// A table cell's message as the prompt shows it: none when the cell is empty.
std::vector<std::string> Shown(const std::string& message) {
  return message.empty() ? std::vector<std::string>{} : std::vector<std::string>{message};
}

TEST(RomImageName, CutsByFamilyModeInCharacters) {
  for (const auto& row : testing::LoadTable("rom/image_names.tsv")) {
    EXPECT_EQ(RomImageName(row[0], static_cast<uint32_t>(std::stoul(row[1]))), row[2]) << row[0];
  }
}

TEST_F(RomListTest, AddWritesEachMediumsKeysInOrderAndAppendsItsRow) {
  for (const auto& row : testing::LoadTable("rom/list_additions.tsv")) {
    SCOPED_TRACE(row[0] + " " + row[3]);
    std::filesystem::remove(dir_ / "list.ini");
    const RomListKind kind = kListKinds.at(row[0]);
    RomImage image = Image(std::stoi(row[2]), RomImageKind::kSystem, row[3]);
    if (kind == RomListKind::kNor) {
      image.base = "00030000";
      image.load = "00200000";
      image.romfs = image.active = image.file = true;
    }
    RecordingPrompt prompt;
    const auto added = List(kind, {0, 16384, row[1] == "1"}).Add(image, prompt);
    ASSERT_TRUE(added);
    EXPECT_EQ(added->columns, std::vector<std::string>(row.begin() + 5, row.end()));
    std::string file = row[4];
    file.replace(file.find("%s"), 2, image.path);
    EXPECT_EQ(ListText(), testing::TextFileBytes(file));
    EXPECT_EQ(List(kind).Rows(), std::vector<RomListRow>{*added});
  }
}

TEST_F(RomListTest, ImageChecksRefuseInTheirOrder) {
  RecordingPrompt setup;
  ASSERT_TRUE(List(RomListKind::kSpi).Add(Image(0), setup));
  for (const auto& row : testing::LoadTable("rom/list_image_checks.tsv")) {
    SCOPED_TRACE(row[0] + " " + row[2] + " " + row.back());
    RomImage image = Image(std::stoi(row[2]), kImageKinds.at(row[3]), row[4]);
    if (row[5] == "name") image.name.clear();
    if (row[5] == "path") image.path.clear();
    RecordingPrompt prompt;
    const RomList list = List(kListKinds.at(row[0]), {0, 16384, row[1] == "1"});
    EXPECT_EQ(list.CheckImage(image, std::stoi(row[6]), prompt), row[7].empty());
    EXPECT_EQ(prompt.Messages(), Shown(row[7]));
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
  const std::vector<std::string> entries = {"DM9161X", "IP101A"};
  for (const auto& row : testing::LoadTable("rom/phy_names.tsv")) {
    RecordingPrompt prompt;
    const RomList family = List(RomListKind::kNor, {static_cast<uint32_t>(std::stoul(row[0])), 16384, false});
    EXPECT_EQ(family.CheckPhyName(row[1], entries, prompt), row[2].empty()) << row[1];
    EXPECT_EQ(prompt.Messages(), Shown(row[2])) << row[1];
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
