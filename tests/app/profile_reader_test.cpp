#include "app/profile_reader.h"

#include <tuple>

#include "app/test_table.h"
#include "app/test_temp_folder.h"

namespace zorbel {
namespace {

namespace fs = std::filesystem;
using namespace testing;

using Entry = std::tuple<std::string, std::string, std::string>;  // section, name, value
using Entries = std::vector<Entry>;

// Every entry the reader holds, in its order.
Entries Dump(const ProfileReader& reader) {
  Entries out;
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

ProfileReader ReaderOf(const std::string& path) {
  ProfileReader reader;
  reader.SetPath(path);
  return reader;
}

// The file's entries, or a failure when it cannot be read.
Entries Parse(const std::string& path, const std::string& text) {
  WriteBytes(path, text);
  ProfileReader reader = ReaderOf(path);
  EXPECT_TRUE(reader.ReadFile());
  return Dump(reader);
}

TEST(ProfileReaderTest, ParsesLinesIntoSectionsAndEntries) {
  TempFolder dir;
  // label, file, then section, name and value of each entry in order
  for (const auto& row : LoadTable("app/profile_parse.tsv")) {
    Entries expected;
    for (size_t i = 2; i + 2 < row.size(); i += 3) expected.emplace_back(row[i], row[i + 1], row[i + 2]);
    EXPECT_EQ(Parse(dir.File("in.ini"), row[1]), expected) << row[0];
  }
  // An overlong line stays one entry and the next line still parses.
  const std::string longValue(5000, 'x');
  EXPECT_EQ(Parse(dir.File("in.ini"), "[S]\nk=" + longValue + "\nnext=1\n"),
            (Entries{{"S", "k", longValue}, {"S", "next", "1"}}));
}

TEST(ProfileReaderTest, ReadingTwiceKeepsOneCopyAndMergesNewEntries) {
  TempFolder dir;
  const std::string path = dir.File("list.ini");
  WriteBytes(path, "[Image 1]\nFile=a.bin\nName=boot\n");
  ProfileReader reader = ReaderOf(path);
  ASSERT_TRUE(reader.ReadFile());
  ASSERT_TRUE(reader.ReadFile());
  EXPECT_EQ(Dump(reader), (Entries{{"Image 1", "File", "a.bin"}, {"Image 1", "Name", "boot"}}));

  WriteBytes(path, "[Image 1]\nName=kernel\nSize=4\n[Image 2]\nFile=b.bin\n");
  ASSERT_TRUE(reader.ReadFile());
  EXPECT_EQ(Dump(reader), (Entries{{"Image 1", "File", "a.bin"},
                                   {"Image 1", "Name", "kernel"},
                                   {"Image 1", "Size", "4"},
                                   {"Image 2", "File", "b.bin"}}));
}

TEST(ProfileReaderTest, ReadFailuresSetTheErrorTextOnlyWhenTheFileExists) {
  TempFolder dir;
  ProfileReader reader = ReaderOf(dir.File("missing.ini"));
  reader.GetValue("nowhere", "x");  // leaves a known text behind
  EXPECT_FALSE(reader.ReadFile());
  EXPECT_EQ(reader.ErrorText(), "Unable to locate specified key.");

  fs::create_directories(dir.File("folder.ini"));
  reader.SetPath(dir.File("folder.ini"));
  EXPECT_FALSE(reader.ReadFile());
  EXPECT_EQ(reader.ErrorText(), "Unable to open ini file.");
  EXPECT_EQ(reader.SectionCount(), 0);
}

TEST(ProfileReaderTest, GetValueReportsWhatIsMissing) {
  // section, name, value found, error text after ("earlier": the text before stays)
  for (const auto& row : LoadTable("app/profile_get_value.tsv")) {
    ProfileReader reader;
    reader.SetValue("S", "k", "v", true);
    reader.SetValue("Empty", "gone", "", true);
    reader.DeleteValue("Empty", "gone");
    reader.GetValue("nowhere", "");  // leaves a known text behind
    const std::string before = reader.ErrorText();
    EXPECT_EQ(reader.GetValue(row[0], row[1]), row[2]) << row[0] << "/" << row[1];
    EXPECT_EQ(reader.ErrorText(), row[3] == "earlier" ? before : row[3]) << row[0] << "/" << row[1];
  }
}

TEST(ProfileReaderTest, EditsKeepOrderAndRespectCreate) {
  ProfileReader reader;
  EXPECT_FALSE(reader.SetValue("S", "a", "1", false));
  EXPECT_EQ(reader.SectionCount(), 0);
  for (const char* name : {"a", "b", "c"}) EXPECT_TRUE(reader.SetValue("S", name, name, true));
  EXPECT_FALSE(reader.SetValue("S", "d", "4", false));
  EXPECT_TRUE(reader.SetValue("S", "c", "3", false));
  EXPECT_TRUE(reader.SetValue("T", "x", "9", true));

  EXPECT_TRUE(reader.DeleteValue("S", "b"));
  EXPECT_FALSE(reader.DeleteValue("S", "b"));
  EXPECT_FALSE(reader.DeleteValue("U", "a"));
  EXPECT_EQ(Dump(reader), (Entries{{"S", "a", "a"}, {"S", "c", "3"}, {"T", "x", "9"}}));

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

TEST(ProfileReaderTest, WriteReplacesTheFileAndOmitsEmptySections) {
  TempFolder dir;
  const std::string path = dir.File("out.ini");
  WriteBytes(path, "[Old]\na=1\n");
  ProfileReader reader = ReaderOf(path);
  reader.SetValue("PATH", "SD card", "c:\\images\\", true);
  reader.SetValue("Empty", "x", "1", true);
  reader.DeleteValue("Empty", "x");
  reader.SetValue("Image 3", " spaced ", " a=b ", true);
  ASSERT_TRUE(reader.WriteFile());

  EXPECT_EQ(ReadBytes(path), TextFileBytes("[PATH]\nSD card=c:\\images\\\n\n[Image 3]\n spaced = a=b \n\n"));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"out.ini"});
}

TEST(ProfileReaderTest, FailedWriteLeavesWhatWasThereAndNoLeftovers) {
  TempFolder dir;
  ProfileReader reader = ReaderOf(dir.File("no/such/folder/out.ini"));
  reader.SetValue("S", "k", "v", true);
  EXPECT_FALSE(reader.WriteFile());

  // A folder in the file's place cannot be replaced by a file.
  const std::string blocked = dir.File("blocked.ini");
  fs::create_directories(blocked + "/inside");
  reader.SetPath(blocked);
  EXPECT_FALSE(reader.WriteFile());
  EXPECT_TRUE(fs::is_directory(blocked + "/inside"));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"blocked.ini"});
}

TEST(ProfileReaderTest, ImageNumberMaskMarksNumberedSections) {
  // prefix, mask (hexadecimal), then the sections
  for (const auto& row : LoadTable("app/profile_image_mask.tsv")) {
    ProfileReader reader;
    for (size_t i = 2; i < row.size(); ++i) reader.SetValue(row[i], "File", "x", true);
    EXPECT_EQ(reader.ImageNumberMask(row[0]), std::stoul(row[1], nullptr, 16))
        << row[0] << " over " << row.size() - 2;
  }
}

}  // namespace
}  // namespace zorbel
