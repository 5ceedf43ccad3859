// The rule for the tool's folder, run against real folders and a real
// environment (HOME, XDG_DATA_HOME, ZORBEL_DIR) of the test's making.
#include <stdlib.h>

#include <set>

#include "app/test_table.h"
#include "app/test_temp_folder.h"
#include "app/tool_folder.h"

namespace zorbel {
namespace {

namespace fs = std::filesystem;
using namespace testing;

// Sets (or, given "-", clears) a variable for one case; puts the old value back.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name), had_(getenv(name) != nullptr) {
    if (had_) old_ = getenv(name);
    value != "-" ? setenv(name, value.c_str(), 1) : unsetenv(name);
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

TEST(ToolFolder, FindsTheFolderAndWritesOnlyInTheDataFolder) {
  const std::string kData = "home/.local/share/zorbel/";
  for (const auto& c : LoadTable("app/tool_folder.tsv")) {
    SCOPED_TRACE(c[0]);
    TempFolder root;
    // "-" names nothing below the test folder.
    const auto below = [&](const std::string& name) { return name == "-" ? name : root.File(name); };
    for (const char* folder : {"home", "mine", "xdg", "prefix/bin"})
      fs::create_directories(root.File(folder));
    if (c[5] != "bare") WriteBytes(root.File("prefix/bin/Zorbel.ini"), "[ADDRESS]\n");
    if (c[7] == "yes") {
      fs::create_directories(root.File("prefix/share/zorbel"));
      WriteBytes(root.File("prefix/share/zorbel/t.bin"), "t");
    }
    const std::string readme = root.File(kData) + kDataFolderNoteFile;
    if (c[8] == "yes") {
      fs::create_directories(root.File(kData));
      WriteBytes(readme, "the user's own words");
    }
    const auto prefixBefore = Listing(root.File("prefix"));
    ScopedVariable homeVariable("HOME", c[4] == "yes" ? root.File("home") : "-");
    ScopedVariable xdgVariable("XDG_DATA_HOME", c[3][0] == '.' ? c[3] : below(c[3]));
    ScopedVariable envVariable(kToolDirEnvironment, below(c[2]));

    // Tests may run as root, whom no permission bit stops: the folder is
    // "read-only" by the test's word.
    const ToolFolder found =
        FindToolFolder({.dirOption = c[1] == "-" ? "" : root.File(c[1]),
                        .virtualBoard = c[6] == "yes",
                        .executableFolder = root.File("prefix/bin/"),
                        .writable = [&](const std::string&) { return c[5] != "read-only"; }});

    EXPECT_EQ(found.path, c[9] == "-" ? "" : root.File(c[9]));
    EXPECT_EQ(found.error.empty(), c[9] != "-") << found.error;
    EXPECT_EQ(found.productSources,
              c[10] == "-" ? std::vector<std::string>{} : std::vector{root.File(c[10])});
    EXPECT_EQ(Listing(root.File("prefix")), prefixBefore) << "written beside the executable";
    if (c[8] == "yes") {
      EXPECT_EQ(ReadBytes(readme), "the user's own words");
    } else if (found.path == root.File(kData)) {
      // Made here: it says which product files belong in it.
      for (const char* file : {"xusb.bin", "Quen_musb.bin", "t.bin", "Zorbel.ini", "NAND ID.ini"}) {
        EXPECT_NE(ReadBytes(readme).find(file), std::string::npos) << file;
      }
    } else {
      EXPECT_FALSE(fs::exists(root.File("home/.local")));
    }
  }
}

TEST(ToolFolder, ProductFilesComeFromTheToolFolderFirstThenTheSources) {
  TempFolder root;
  for (const char* file : {"own/Zorbel.ini", "first/t.bin", "second/t.bin", "second/musb.bin"}) {
    fs::create_directories(fs::path(root.File(file)).parent_path());
    WriteBytes(root.File(file), file);
  }
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
