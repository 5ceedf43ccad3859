// Paths as Windows writes them: drive letters, backslashes, both separators
// mixed, and the executable's folder with its trailing backslash.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/module_directory.h"
#include "app/paths.h"
#include "app/test_table.h"

namespace zorbel {
namespace {

TEST(PathsWin32, FolderAndFileOfAChosenPath) {
  for (const auto& row : zorbel::testing::LoadTable("win32/path_parts.tsv")) {
    SCOPED_TRACE(row[0]);
    EXPECT_EQ(FolderPart(row[0]), row[1]);
    EXPECT_EQ(FileNamePart(row[0]), row[2]);
    // The folder part and the file name make the path again.
    EXPECT_EQ(FolderPart(row[0]) + FileNamePart(row[0]), row[0]);
  }
}

TEST(PathsWin32, ModuleDirectoryIsTheExecutablesFolderWithItsBackslash) {
  const std::string folder = ModuleDirectory();
  ASSERT_GE(folder.size(), 3u);
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_EQ(folder[1], ':') << folder;  // a drive letter, as the system reports it
  char self[MAX_PATH * 4] = {};
  GetModuleFileNameA(nullptr, self, sizeof self);
  EXPECT_EQ(std::string(self).rfind(folder, 0), 0u);
  EXPECT_EQ(std::string(self).find('\\', folder.size()), std::string::npos);
  // Files of the tool are named from it without doubling the separator.
  EXPECT_EQ(ModuleFile(folder, "Zorbel.ini"), folder + "Zorbel.ini");
  EXPECT_NE(GetFileAttributesA(ModuleFile(folder, FileNamePart(self)).c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace zorbel
