// Paths as Windows writes them: drive letters, backslashes, both separators
// mixed, and the executable's folder with its trailing backslash.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/module_directory.h"
#include "app/paths.h"

namespace zorbel {
namespace {

TEST(PathsWin32, FolderAndFileOfAChosenPath) {
  struct Case {
    std::string path, folder, file;
  };
  const Case cases[] = {
      {"C:\\images\\boot.bin", "C:\\images\\", "boot.bin"},
      {"D:\\a b\\c.d\\rom image.bin", "D:\\a b\\c.d\\", "rom image.bin"},
      {"E:\\boot.bin", "E:\\", "boot.bin"},
      {"C:\\Tools/Zorbel\\mkrom/spirom.ini", "C:\\Tools/Zorbel\\mkrom/", "spirom.ini"},
      {"\\\\server\\share\\x.bin", "\\\\server\\share\\", "x.bin"},
      {"C:\\images\\", "C:\\images\\", ""},
      {"boot.bin", "", "boot.bin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(FolderPart(c.path), c.folder);
    EXPECT_EQ(FileNamePart(c.path), c.file);
    // The folder part and the file name make the path again.
    EXPECT_EQ(FolderPart(c.path) + FileNamePart(c.path), c.path);
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
