// The rule for the tool's folder, run against real folders and a real
// environment (HOME, XDG_DATA_HOME, ZORBEL_DIR) of the test's making.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <set>

#include "app/tool_folder.h"
#include "test_temp_folder.h"

namespace zorbel {
namespace {

using testing::TempFolder;
using testing::WriteBytes;
namespace fs = std::filesystem;

// Sets (or, given nullptr, clears) a variable for one test; puts the old value back.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string* value) : name_(name), had_(getenv(name) != nullptr) {
    if (had_) old_ = getenv(name);
    value != nullptr ? setenv(name, value->c_str(), 1) : unsetenv(name);
  }
  ~ScopedVariable() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  bool had_;
  std::string old_;
};

std::set<fs::path> Listing(const fs::path& folder) {
  return {fs::recursive_directory_iterator(folder), fs::recursive_directory_iterator()};
}

enum Exe { kBare, kPortable, kPortableReadOnly };

// Folders below the test folder: home/ (HOME), prefix/bin/ (the executable's),
// prefix/share/zorbel/ (installed stand-ins), mine/ (one the user names).
struct Case {
  const char* name;
  const char* dirOption;  // "" when not given
  const char* envDir;     // ZORBEL_DIR; nullptr when unset
  const char* xdg;        // XDG_DATA_HOME, absolute below the test folder unless it starts with '.'
  bool home;
  Exe exe;
  bool virtualBoard;
  bool standInsInstalled;
  bool dataFolderExists;
  const char* expected;  // "" for an error
  const char* source;    // the one product source, or ""
};

constexpr const char* kData = "home/.local/share/zorbel/";
const Case kCases[] = {
    {"DirOptionWinsOverEverything", "mine", "home", "xdg", true, kPortable, false, false, false, "mine/", ""},
    {"EnvironmentWinsOverPortableCopy", "", "mine", nullptr, true, kPortable, false, false, false, "mine/", ""},
    {"NamedFolderThatDoesNotExistIsRefused", "", "missing", nullptr, true, kBare, false, false, false, "", ""},
    {"PortableCopyKeepsItsOwnFolder", "", nullptr, nullptr, true, kPortable, false, false, false, "prefix/bin/", ""},
    {"ReadOnlyPortableCopyIsOnlyReadFrom", "", nullptr, nullptr, true, kPortableReadOnly, false, false, false, kData,
     "prefix/bin/"},
    {"InstalledUsesTheDefaultDataFolder", "", nullptr, nullptr, true, kBare, false, false, false, kData, ""},
    {"XdgDataHomeIsHonoured", "", nullptr, "xdg", true, kBare, false, false, false, "xdg/zorbel/", ""},
    {"RelativeXdgDataHomeIsIgnored", "", nullptr, "./xdg", true, kBare, false, false, false, kData, ""},
    {"ExistingDataFolderIsLeftAsItIs", "", nullptr, nullptr, true, kBare, false, false, true, kData, ""},
    {"NoHomeIsAnError", "", nullptr, nullptr, false, kBare, false, false, false, "", ""},
    {"VirtualBoardReadsTheInstalledStandIns", "", nullptr, nullptr, true, kBare, true, true, false, kData,
     "prefix/share/zorbel/"},
    {"RealBoardNeverReadsTheStandIns", "", nullptr, nullptr, true, kBare, false, true, false, kData, ""},
};

class ToolFolderRule : public ::testing::TestWithParam<Case> {};

TEST_P(ToolFolderRule, FindsTheFolderAndWritesOnlyInTheDataFolder) {
  const Case& c = GetParam();
  TempFolder root;
  for (const char* folder : {"home", "mine", "xdg", "prefix/bin"}) fs::create_directories(root.File(folder));
  if (c.exe != kBare) WriteBytes(root.File("prefix/bin/Zorbel.ini"), "[ADDRESS]\n");
  if (c.standInsInstalled) {
    fs::create_directories(root.File("prefix/share/zorbel"));
    WriteBytes(root.File("prefix/share/zorbel/t.bin"), "t");
  }
  const std::string readme = root.File(kData) + kDataFolderNoteFile;
  if (c.dataFolderExists) {
    fs::create_directories(root.File(kData));
    WriteBytes(readme, "the user's own words");
  }
  const auto prefixBefore = Listing(root.File("prefix"));

  const std::string home = root.File("home");
  const std::string xdg = c.xdg != nullptr && c.xdg[0] == '.' ? c.xdg : root.File(c.xdg != nullptr ? c.xdg : "");
  const std::string env = root.File(c.envDir != nullptr ? c.envDir : "");
  ScopedVariable homeVariable("HOME", c.home ? &home : nullptr);
  ScopedVariable xdgVariable("XDG_DATA_HOME", c.xdg != nullptr ? &xdg : nullptr);
  ScopedVariable envVariable(kToolDirEnvironment, c.envDir != nullptr ? &env : nullptr);

  ToolFolderRequest request;
  request.dirOption = *c.dirOption != '\0' ? root.File(c.dirOption) : "";
  request.virtualBoard = c.virtualBoard;
  request.executableFolder = root.File("prefix/bin/");
  // Tests may run as root, whom no permission bit stops: the folder is
  // "read-only" by the test's word.
  request.writable = [&](const std::string&) { return c.exe != kPortableReadOnly; };
  const ToolFolder found = FindToolFolder(request);

  EXPECT_EQ(found.path, *c.expected != '\0' ? root.File(c.expected) : "");
  EXPECT_EQ(found.error.empty(), *c.expected != '\0') << found.error;
  EXPECT_EQ(found.productSources,
            *c.source != '\0' ? std::vector<std::string>{root.File(c.source)} : std::vector<std::string>{});
  EXPECT_EQ(Listing(root.File("prefix")), prefixBefore) << "written beside the executable";
  if (c.dataFolderExists) {
    EXPECT_EQ(testing::ReadBytes(readme), "the user's own words");
  } else if (found.path == root.File(kData)) {
    // Made here: it says which product files belong in it.
    for (const char* file : {"xusb.bin", "Quen_musb.bin", "t.bin", "Zorbel.ini", "NAND ID.ini"}) {
      EXPECT_NE(testing::ReadBytes(readme).find(file), std::string::npos) << file;
    }
  } else {
    EXPECT_FALSE(fs::exists(root.File("home/.local")));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ToolFolderRule, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ToolFolder, ProductFilesComeFromTheToolFolderFirstThenTheSources) {
  TempFolder root;
  for (const char* folder : {"own", "first", "second"}) fs::create_directories(root.File(folder));
  WriteBytes(root.File("own/Zorbel.ini"), "own");
  WriteBytes(root.File("first/t.bin"), "first");
  WriteBytes(root.File("second/t.bin"), "second");
  WriteBytes(root.File("second/musb.bin"), "second");
  ToolState state;
  state.moduleDirectory = root.File("own/");
  state.productSources = {root.File("first/"), root.File("second/")};
  EXPECT_EQ(ProductFile(state, "Zorbel.ini"), root.File("own/Zorbel.ini"));
  EXPECT_EQ(ProductFile(state, "t.bin"), root.File("first/t.bin"));
  EXPECT_EQ(ProductFile(state, "musb.bin"), root.File("second/musb.bin"));
  // Missing everywhere: named where it belongs, so the message points there.
  EXPECT_EQ(ProductFile(state, "xusb.bin"), root.File("own/xusb.bin"));
}

}  // namespace
}  // namespace zorbel
