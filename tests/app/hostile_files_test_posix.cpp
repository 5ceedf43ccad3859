// Files a careless or hostile user points the tool at: what the tool writes
// is replaced only when it is a regular file, and what it reads must be one.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "app/file_replace.h"
#include "app/profile_reader.h"
#include "app/test_temp_folder.h"

namespace zorbel {
namespace {

namespace fs = std::filesystem;
using namespace testing;

// A folder with a FIFO in it: opening it for reading or writing would block.
class HostileFiles : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0); }
  TempFolder folder;
  const std::string fifo = folder.File("fifo");
};

TEST_F(HostileFiles, OnlyRegularFilesAreReplaced) {
  fs::create_directory(folder.File("dir"));
  fs::create_symlink(folder.File("nowhere"), folder.File("dangling"));
  fs::create_symlink(folder.File("dir"), folder.File("to-dir"));
  std::vector<std::string> refused{fifo, folder.File("dir"), folder.File("dangling"), folder.File("to-dir")};
  if (fs::exists("/dev/full")) refused.push_back("/dev/full");
  for (const std::string& path : refused) {
    const auto before = fs::symlink_status(path).type();
    EXPECT_FALSE(ReplaceFileWhole(path, "data", FileMode::kBinary)) << path;
    EXPECT_NE(WriteTargetRefusal(path), "") << path;
    EXPECT_EQ(fs::symlink_status(path).type(), before) << path;
  }
  EXPECT_TRUE(fs::is_empty(folder.File("dir")));
  EXPECT_FALSE(fs::exists(folder.File("nowhere")));
}

TEST_F(HostileFiles, ALinkToARegularFileIsKeptAndTheFileReplaced) {
  WriteBytes(folder.File("real.bin"), "old");
  fs::create_symlink("real.bin", folder.File("link.bin"));
  ASSERT_TRUE(ReplaceFileWhole(folder.File("link.bin"), "new", FileMode::kBinary));
  EXPECT_TRUE(fs::is_symlink(folder.File("link.bin")));
  EXPECT_EQ(ReadBytes(folder.File("real.bin")), "new");
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"fifo", "link.bin", "real.bin"}));
}

TEST_F(HostileFiles, TheWorkingFileIsNeverOpenedThroughAPlantedLink) {
  WriteBytes(folder.File("victim"), "keep");
  fs::create_symlink(folder.File("victim"), folder.File("planted"));
  EXPECT_EQ(CreateExclusive(folder.File("planted")), nullptr);
  EXPECT_EQ(ReadBytes(folder.File("victim")), "keep");
}

TEST_F(HostileFiles, ReadersRefuseWhatIsNoRegularFileOrTooLarge) {
  WriteBytes(folder.File("big.ini"), "[Image 0]\n" + std::string(kMaxTextFileSize, 'x'));
  for (const std::string& path : {fifo, folder.File("big.ini")}) {
    std::ifstream in;
    EXPECT_FALSE(OpenForReading(in, path, FileMode::kText)) << path;
    ProfileReader reader;
    reader.SetPath(path);
    EXPECT_FALSE(reader.ReadFile()) << path;
    EXPECT_NE(reader.Refusal().find(path), std::string::npos) << reader.Refusal();
  }
}

TEST_F(HostileFiles, AHundredThousandKeysReadAndChangeQuickly) {
  std::string text = "[Image 1]\n";
  constexpr int kKeys = 100000;
  // Short lines, so the list stays within the size a text file may have.
  for (int i = 0; i < kKeys; ++i) text += std::to_string(i) + "=" + std::to_string(i % 10) + "\n";
  WriteBytes(folder.File("list.ini"), text);
  ProfileReader reader;
  reader.SetPath(folder.File("list.ini"));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(reader.ReadFile());
  // Linear lookups took 15 s and more; a loose bound that still catches them.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(reader.DeleteValue("Image 1", "5"));
  EXPECT_EQ(reader.GetValue("Image 1", "16"), "6");
  EXPECT_EQ(reader.FindKey(0, "99999"), kKeys - 2);
}

}  // namespace
}  // namespace zorbel
