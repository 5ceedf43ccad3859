#include "app/profile_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "app/test_temp_folder.h"

namespace zorbel {
namespace {

namespace fs = std::filesystem;

using testing::ReadBytes;
using testing::TempFolder;
using testing::TextFileBytes;
using testing::WriteBytes;

using Entry = std::tuple<std::string, std::string, std::string>;  // section, name, value

// Every entry the reader holds, in its order.
std::vector<Entry> Dump(const ProfileReader& reader) {
  std::vector<Entry> out;
  ProfileReader copy = reader;
  for (int s = 0; s < copy.SectionCount(); ++s) {
    const std::string section = copy.SectionName(s);
    for (int i = 0; i < copy.GetNumValues(section); ++i) {
      const std::string name = copy.GetValueName(section, i);
      out.emplace_back(section, name, copy.GetValue(section, name));
    }
  }
  return out;
}

struct ParseCase {
  const char* label;
  std::string file;
  std::vector<Entry> expected;
};

TEST(ProfileReaderTest, ParsesLinesIntoSectionsAndEntries) {
  const std::string longValue(5000, 'x');
  const std::vector<ParseCase> cases = {
      {"brackets doubled around a header name", "[[Name]]\nk=v\n", {{"Name", "k", "v"}}},
      {"split at the first equals sign", "[S]\na=b=c\n", {{"S", "a", "b=c"}}},
      {"spaces around the equals sign kept", "[S]\n key = value \n", {{"S", " key ", " value "}}},
      {"entries before any header go to the empty section",
       "k=v\n[S]\nx=y\n",
       {{"", "k", "v"}, {"S", "x", "y"}}},
      {"a line without equals gives an empty name", "[S]\nnoequals\n", {{"S", "", "oequals"}}},
      {"Windows line ends", "[S]\r\nk=v\r\n\r\nj=w\r\n", {{"S", "k", "v"}, {"S", "j", "w"}}},
      {"empty lines skipped, last line without end", "[S]\n\n\nk=v", {{"S", "k", "v"}}},
      {"header of brackets only names the empty section", "[]\nk=v\n", {{"", "k", "v"}}},
      {"a repeated name keeps one entry with the last value", "[S]\nk=1\nk=2\n", {{"S", "k", "2"}}},
      {"a header without entries creates nothing", "[A]\n[B]\nk=v\n", {{"B", "k", "v"}}},
      {"names are case-sensitive", "[S]\nKey=1\nkey=2\n", {{"S", "Key", "1"}, {"S", "key", "2"}}},
      {"a byte-order mark before the first header", "\xEF\xBB\xBF[S]\nk=v\n", {{"S", "k", "v"}}},
      {"a half header is an entry", "[S\n", {{"", "", "S"}}},
      {"an overlong line stays one entry and the next line still parses",
       "[S]\nk=" + longValue + "\nnext=1\n",
       {{"S", "k", longValue}, {"S", "next", "1"}}},
      {"section order is the file's order",
       "[Z]\na=1\n[A]\nb=2\n[Z]\nc=3\n",
       {{"Z", "a", "1"}, {"Z", "c", "3"}, {"A", "b", "2"}}},
  };
  TempFolder dir;
  for (const auto& c : cases) {
    const std::string path = dir.File("in.ini");
    WriteBytes(path, c.file);
    ProfileReader reader;
    reader.SetPath(path);
    ASSERT_TRUE(reader.ReadFile()) << c.label;
    EXPECT_EQ(Dump(reader), c.expected) << c.label;
  }
}

TEST(ProfileReaderTest, ReadingTwiceKeepsOneCopyAndMergesNewEntries) {
  TempFolder dir;
  const std::string path = dir.File("list.ini");
  WriteBytes(path, "[Image 1]\nFile=a.bin\nName=boot\n");
  ProfileReader reader;
  reader.SetPath(path);
  ASSERT_TRUE(reader.ReadFile());
  ASSERT_TRUE(reader.ReadFile());
  EXPECT_EQ(Dump(reader), (std::vector<Entry>{{"Image 1", "File", "a.bin"}, {"Image 1", "Name", "boot"}}));

  WriteBytes(path, "[Image 1]\nName=kernel\nSize=4\n[Image 2]\nFile=b.bin\n");
  ASSERT_TRUE(reader.ReadFile());
  EXPECT_EQ(Dump(reader), (std::vector<Entry>{{"Image 1", "File", "a.bin"},
                                              {"Image 1", "Name", "kernel"},
                                              {"Image 1", "Size", "4"},
                                              {"Image 2", "File", "b.bin"}}));
}

TEST(ProfileReaderTest, ReadFailuresSetTheErrorTextOnlyWhenTheFileExists) {
  TempFolder dir;
  ProfileReader reader;
  reader.GetValue("nowhere", "x");
  ASSERT_EQ(reader.ErrorText(), "Unable to locate specified key.");

  reader.SetPath(dir.File("missing.ini"));
  EXPECT_FALSE(reader.ReadFile());
  EXPECT_EQ(reader.ErrorText(), "Unable to locate specified key.");

  fs::create_directories(dir.File("folder.ini"));
  reader.SetPath(dir.File("folder.ini"));
  EXPECT_FALSE(reader.ReadFile());
  EXPECT_EQ(reader.ErrorText(), "Unable to open ini file.");
  EXPECT_EQ(reader.SectionCount(), 0);
}

TEST(ProfileReaderTest, GetValueReportsWhatIsMissing) {
  struct Case {
    std::string section, name, value, error;
  };
  const std::vector<Case> cases = {
      {"S", "k", "v", "earlier"},
      {"s", "k", "", "Unable to locate specified key."},
      {"S", "K", "", "Unable to locate specified value."},
      {"T", "k", "", "Unable to locate specified key."},
      {"Empty", "k", "", "Unable to locate specified value."},
  };
  for (const auto& c : cases) {
    ProfileReader reader;
    reader.SetValue("S", "k", "v", true);
    reader.SetValue("Empty", "gone", "", true);
    reader.DeleteValue("Empty", "gone");
    reader.GetValue("nowhere", "");  // leaves a known text behind
    const std::string before = reader.ErrorText();
    EXPECT_EQ(reader.GetValue(c.section, c.name), c.value) << c.section << "/" << c.name;
    EXPECT_EQ(reader.ErrorText(), c.error == "earlier" ? before : c.error) << c.section << "/" << c.name;
  }
}

TEST(ProfileReaderTest, EditsKeepOrderAndRespectCreate) {
  ProfileReader reader;
  EXPECT_FALSE(reader.SetValue("S", "a", "1", false));
  EXPECT_EQ(reader.SectionCount(), 0);
  EXPECT_TRUE(reader.SetValue("S", "a", "1", true));
  EXPECT_TRUE(reader.SetValue("S", "b", "2", true));
  EXPECT_TRUE(reader.SetValue("S", "c", "3", true));
  EXPECT_FALSE(reader.SetValue("S", "d", "4", false));
  EXPECT_TRUE(reader.SetValue("S", "b", "two", false));
  EXPECT_TRUE(reader.SetValue("T", "x", "9", true));

  EXPECT_TRUE(reader.DeleteValue("S", "b"));
  EXPECT_FALSE(reader.DeleteValue("S", "b"));
  EXPECT_FALSE(reader.DeleteValue("U", "a"));
  EXPECT_EQ(Dump(reader), (std::vector<Entry>{{"S", "a", "1"}, {"S", "c", "3"}, {"T", "x", "9"}}));

  EXPECT_TRUE(reader.DeleteKey("S"));
  EXPECT_FALSE(reader.DeleteKey("S"));
  EXPECT_EQ(reader.FindSection("S"), -1);
  EXPECT_EQ(reader.FindSection("T"), 0);
  EXPECT_EQ(reader.FindKey(0, "x"), 0);
  EXPECT_EQ(reader.FindKey(5, "x"), -1);
  EXPECT_EQ(reader.GetNumValues("S"), 0);
  EXPECT_EQ(reader.GetValueName("T", 1), "");
  EXPECT_EQ(reader.GetValueName("T", -1), "");
}

TEST(ProfileReaderTest, WriteOmitsEmptySectionsAndReadsBackTheSame) {
  TempFolder dir;
  const std::string path = dir.File("out.ini");
  ProfileReader reader;
  reader.SetPath(path);
  reader.SetValue("PATH", "SD card", "c:\\images\\", true);
  reader.SetValue("Empty", "x", "1", true);
  reader.DeleteValue("Empty", "x");
  reader.SetValue("Image 3", " spaced ", " a=b ", true);
  ASSERT_TRUE(reader.WriteFile());

  EXPECT_EQ(ReadBytes(path), TextFileBytes("[PATH]\nSD card=c:\\images\\\n\n[Image 3]\n spaced = a=b \n\n"));

  ProfileReader again;
  again.SetPath(path);
  ASSERT_TRUE(again.ReadFile());
  EXPECT_EQ(again.FindSection("Empty"), -1);
  EXPECT_EQ(Dump(again),
            (std::vector<Entry>{{"PATH", "SD card", "c:\\images\\"}, {"Image 3", " spaced ", " a=b "}}));
}

TEST(ProfileReaderTest, FailedWriteLeavesTheOldFileAndNoLeftovers) {
  TempFolder dir;
  ProfileReader reader;
  reader.SetValue("S", "k", "v", true);

  reader.SetPath(dir.File("no/such/folder/out.ini"));
  EXPECT_FALSE(reader.WriteFile());

  // A folder in the file's place cannot be replaced by a file.
  const std::string blocked = dir.File("blocked.ini");
  fs::create_directories(blocked + "/inside");
  reader.SetPath(blocked);
  EXPECT_FALSE(reader.WriteFile());
  EXPECT_TRUE(fs::is_directory(blocked + "/inside"));

  const std::string kept = dir.File("kept.ini");
  WriteBytes(kept, "[Old]\na=1\n");
  reader.SetPath(kept);
  ASSERT_TRUE(reader.WriteFile());
  EXPECT_EQ(ReadBytes(kept), TextFileBytes("[S]\nk=v\n\n"));

  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.File(""))) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"blocked.ini", "kept.ini"}));
}

TEST(ProfileReaderTest, ImageNumberMaskMarksNumberedSections) {
  struct Case {
    std::vector<std::string> sections;
    std::string prefix;
    uint32_t mask;
  };
  const std::vector<Case> cases = {
      {{"Image 0", "Image 3", "Image 31"}, "Image ", 0x80000009u},
      {{"Image 0", "Image 3"}, "Image", 0x9u},
      {{"Image1", "Image 2"}, "Image", 0x6u},
      {{"Image 32", "Image 100", "Image -1"}, "Image ", 0u},
      {{"Image", "Images", "Image x"}, "Image ", 0u},
      {{"image 4", "Target Image", "Image 5abc"}, "Image ", 0x20u},
      {{"Image 07"}, "ImageXYZ", 0x80u},
      {{}, "Image ", 0u},
  };
  for (const auto& c : cases) {
    ProfileReader reader;
    for (const auto& s : c.sections) reader.SetValue(s, "File", "x", true);
    EXPECT_EQ(reader.ImageNumberMask(c.prefix), c.mask) << c.prefix << " over " << c.sections.size();
  }
}

}  // namespace
}  // namespace zorbel
