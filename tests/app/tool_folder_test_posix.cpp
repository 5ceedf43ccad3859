// The rule for the tool's folder, run against real folders and a real
// environment (HOME, XDG_DATA_HOME, ZORBEL_DIR) of the test's making.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <set>

#include "app/tool_folder.h"
#include "test_temp_folder.h"

namespace zorbel {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using testing::WriteBytes;

// Sets or clears a variable for one test and puts the old value back.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedVariable() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::set<std::string> Listing(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) names.insert(entry.path().string());
  return names;
}

enum class Exe { kBare, kPortable, kPortableReadOnly };

struct Case {
  const char* name;
  const char* dirOption;               // relative to the test folder
  std::optional<const char*> envDir;   // ZORBEL_DIR
  std::optional<const char*> xdg;      // XDG_DATA_HOME
  bool home;                           // HOME set
  Exe exe;
  bool virtualBoard;
  bool standInsInstalled;
  bool dataFolderExists;
  const char* expected;  // relative; "" means an error
  std::vector<const char*> sources;
};

// The test folder: home/ (HOME), prefix/bin/ (the executable's folder),
// prefix/share/zorbel/ (installed stand-ins), mine/ (a folder the user names).
const Case kCases[] = {
    {"DirOptionWinsOverEverything", "mine", "home", "xdg", true, Exe::kPortable, false, false, false, "mine/", {}},
    {"EnvironmentWinsOverPortableCopy", "", "mine", {}, true, Exe::kPortable, false, false, false, "mine/", {}},
    {"NamedFolderThatDoesNotExistIsRefused", "", "missing", {}, true, Exe::kBare, false, false, false, "", {}},
    {"PortableCopyKeepsItsOwnFolder", "", {}, {}, true, Exe::kPortable, false, false, false, "prefix/bin/", {}},
    {"ReadOnlyPortableCopyReadsFromTheDataFolder", "", {}, {}, true, Exe::kPortableReadOnly, false, false, false,
     "home/.local/share/zorbel/", {"prefix/bin/"}},
    {"InstalledUsesTheDefaultDataFolder", "", {}, {}, true, Exe::kBare, false, false, false,
     "home/.local/share/zorbel/", {}},
    {"XdgDataHomeIsHonoured", "", {}, "xdg", true, Exe::kBare, false, false, false, "xdg/zorbel/", {}},
    {"RelativeXdgDataHomeIsIgnored", "", {}, "relative/xdg", true, Exe::kBare, false, false, false,
     "home/.local/share/zorbel/", {}},
    {"ExistingDataFolderIsLeftAsItIs", "", {}, {}, true, Exe::kBare, false, false, true,
     "home/.local/share/zorbel/", {}},
    {"NoHomeIsAnError", "", {}, {}, false, Exe::kBare, false, false, false, "", {}},
    {"VirtualBoardReadsTheInstalledStandIns", "", {}, {}, true, Exe::kBare, true, true, false,
     "home/.local/share/zorbel/", {"prefix/share/zorbel/"}},
    {"RealBoardNeverReadsTheStandIns", "", {}, {}, true, Exe::kBare, false, true, false,
     "home/.local/share/zorbel/", {}},
    {"VirtualBoardWithoutInstalledStandIns", "mine", {}, {}, true, Exe::kBare, true, false, false, "mine/", {}},
};

class ToolFolderRule : public ::testing::TestWithParam<Case> {};

TEST_P(ToolFolderRule, FindsTheFolderAndWritesOnlyInTheDataFolder) {
  const Case& c = GetParam();
  TempFolder root;
  auto at = [&](const std::string& relative) { return root.File(relative); };
  for (const char* folder : {"home", "mine", "xdg", "prefix/bin"}) fs::create_directories(at(folder));
  if (c.exe != Exe::kBare) WriteBytes(at("prefix/bin/Zorbel.ini"), "[ADDRESS]\n");
  if (c.standInsInstalled) {
    fs::create_directories(at("prefix/share/zorbel"));
    WriteBytes(at("prefix/share/zorbel/t.bin"), "t");
  }
  const std::string note = "the user's own words";
  if (c.dataFolderExists) {
    fs::create_directories(at("home/.local/share/zorbel"));
    WriteBytes(at("home/.local/share/zorbel/README.txt"), note);
  }
  // Run as root, permission bits do not stop a write; the rule asks the
  // folder's mode instead of the process's rights.
  if (c.exe == Exe::kPortableReadOnly) fs::permissions(at("prefix/bin"), fs::perms::owner_write, fs::perm_options::remove);
  const auto prefixBefore = Listing(at("prefix"));

  ScopedVariable home("HOME", c.home ? std::optional<std::string>(at("home")) : std::nullopt);
  ScopedVariable xdg("XDG_DATA_HOME", c.xdg ? std::optional<std::string>(std::string(*c.xdg) == "relative/xdg"
                                                                              ? *c.xdg
                                                                              : at(*c.xdg))
                                            : std::nullopt);
  ScopedVariable env(kToolDirEnvironment, c.envDir ? std::optional<std::string>(at(*c.envDir)) : std::nullopt);

  ToolFolderRequest request;
  request.dirOption = *c.dirOption ? at(c.dirOption) : "";
  request.virtualBoard = c.virtualBoard;
  request.executableFolder = at("prefix/bin") + "/";
  request.writable = [](const std::string& folder) {
    return (fs::status(folder).permissions() & fs::perms::owner_write) != fs::perms::none;
  };
  const ToolFolder found = FindToolFolder(request);
  fs::permissions(at("prefix/bin"), fs::perms::owner_all, fs::perm_options::add);

  if (*c.expected == '\0') {
    EXPECT_EQ(found.path, "");
    EXPECT_NE(found.error, "");
  } else {
    EXPECT_EQ(found.error, "");
    EXPECT_EQ(found.path, at(c.expected));
    EXPECT_TRUE(fs::is_directory(found.path));
  }
  std::vector<std::string> sources;
  for (const char* source : c.sources) sources.push_back(at(source));
  EXPECT_EQ(found.productSources, sources);
  EXPECT_EQ(Listing(at("prefix")), prefixBefore) << "written under the executable's folder";

  // The data folder, when made here, says what belongs in it; one that was
  // there keeps what the user left.
  const std::string readme = at("home/.local/share/zorbel/README.txt");
  if (c.dataFolderExists) {
    EXPECT_EQ(testing::ReadBytes(readme), note);
  } else if (found.path == at("home/.local/share/zorbel/")) {
    const std::string text = testing::ReadBytes(readme);
    for (const char* file : {"xusb.bin", "Quen_musb.bin", "t.bin", "Zorbel.ini", "NAND ID.ini"}) {
      EXPECT_NE(text.find(file), std::string::npos) << file;
    }
  } else {
    EXPECT_FALSE(fs::exists(at("home/.local")));
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
  state.moduleDirectory = root.File("own") + "/";
  state.productSources = {root.File("first") + "/", root.File("second") + "/"};
  EXPECT_EQ(ProductFile(state, "Zorbel.ini"), root.File("own/Zorbel.ini"));
  EXPECT_EQ(ProductFile(state, "t.bin"), root.File("first/t.bin"));
  EXPECT_EQ(ProductFile(state, "musb.bin"), root.File("second/musb.bin"));
  // Missing everywhere: named where it belongs, so the message points there.
  EXPECT_EQ(ProductFile(state, "xusb.bin"), root.File("own/xusb.bin"));
}

TEST(ToolFolder, WriteCheckTellsAFolderFromNone) {
  TempFolder root;
  EXPECT_TRUE(FolderWritable(root.File("")));
  EXPECT_FALSE(FolderWritable(root.File("missing")));
}

}  // namespace
}  // namespace zorbel
