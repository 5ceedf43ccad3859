#include "app/tool_folder.h"

#include <filesystem>
#include <utility>

#include "app/file_replace.h"
#include "app/module_directory.h"
#include "app/paths.h"
#include "app/tool_settings.h"

namespace zorbel {
namespace {

// Where an installation keeps the stand-in product files, relative to the
// executable's folder (set by the build from the install layout).
constexpr const char* kStandInFolder = ZORBEL_STANDIN_FOLDER;

constexpr const char* kDataFolderNote =
    "This folder holds the files of Zorbel Flash Writer.\n"
    "\n"
    "Put the product's files here, as they come with the board:\n"
    "  xusb.bin, musb.bin, Quen_musb.bin, Rast_musb.bin, Pilk_musb.bin  (the loaders)\n"
    "  Zorbel.ini   (the boards' memory-controller settings)\n"
    "  NAND ID.ini  (the NAND flash identification table)\n"
    "  t.bin        (the template image for the device settings)\n"
    "\n"
    "The tool writes its own files here: ZorbelSD.ini, path.ini, the mkrom folder,\n"
    "and the window's device settings files 1.txt and t0.bin.\n"
    "\n"
    "Another folder is used when ZORBEL_DIR names one, or with zorbel --dir.\n";

std::string WithSeparator(std::string folder) {
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
  return folder;
}

bool IsFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(Utf8Path(path), ec);
}

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(Utf8Path(path), ec);
}

// The note goes in only when the folder is made, so a user who deleted or
// edited it is not overruled.
bool MakeDataFolder(const std::string& folder, std::string* error) {
  if (IsFolder(folder)) return true;
  std::error_code ec;
  std::filesystem::create_directories(Utf8Path(folder), ec);
  if (ec || !IsFolder(folder)) {
    *error = "Cannot create the folder for the tool's files, " + folder + ": " + ec.message();
    return false;
  }
  ReplaceFileWhole(ModuleFile(folder, kDataFolderNoteFile), kDataFolderNote, FileMode::kText);
  return true;
}

}  // namespace

ToolFolder FindToolFolder(const ToolFolderRequest& request) {
  ToolFolder result;
  const std::string named =
      request.dirOption.empty() ? EnvironmentText(kToolDirEnvironment) : request.dirOption;
  const std::string& exe = request.executableFolder;
  const bool portable = !exe.empty() && IsFile(ModuleFile(exe, kChipSettingsFile));
  if (!named.empty()) {
    // A folder the user names is theirs: a mistyped one is reported, not made.
    if (!IsFolder(named)) {
      result.error = "The folder for the tool's files, " + named + ", does not exist.";
      return result;
    }
    result.path = WithSeparator(named);
  } else if (portable && request.writable && request.writable(exe)) {
    result.path = WithSeparator(exe);
  } else {
    const std::string home = UserDataHome();
    if (home.empty()) {
      result.error = std::string("No folder for the tool's files: the environment names no home folder; set ") +
                     kToolDirEnvironment + " to one.";
      return result;
    }
    const std::string folder = ModuleFile(home, kDataFolderName);
    if (!MakeDataFolder(folder, &result.error)) return result;
    result.path = WithSeparator(folder);
    if (portable) result.productSources.push_back(WithSeparator(exe));
  }
  if (request.virtualBoard && !exe.empty()) {
    const std::u8string normal = Utf8Path(ModuleFile(exe, kStandInFolder)).lexically_normal().u8string();
    const std::string standIns = WithSeparator(std::string(normal.begin(), normal.end()));
    if (IsFolder(standIns)) result.productSources.push_back(standIns);
  }
  return result;
}

ToolFolderRequest ProgramToolFolderRequest(std::string dirOption, bool virtualBoard) {
  ToolFolderRequest request;
  request.dirOption = std::move(dirOption);
  request.virtualBoard = virtualBoard;
  request.executableFolder = ModuleDirectory();
  request.writable = FolderWritable;
  return request;
}

void UseToolFolder(ToolState& state, const ToolFolder& folder) {
  state.moduleDirectory = folder.path;
  state.productSources = folder.productSources;
}

std::string ProductFile(const ToolState& state, std::string_view name) {
  const std::string own = ModuleFile(state.moduleDirectory, name);
  if (IsFile(own)) return own;
  for (const std::string& source : state.productSources) {
    std::string candidate = ModuleFile(source, name);
    if (IsFile(candidate)) return candidate;
  }
  return own;
}

}  // namespace zorbel
