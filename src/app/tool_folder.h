#pragma once
// Where the tool keeps its files (moduleDirectory), one rule for the window
// and the command line:
//   1. the folder named by --dir (command line) or by ZORBEL_DIR;
//   2. else the executable's folder when it holds "Zorbel.ini" and may be
//      written: an unpacked portable copy, or a build folder;
//   3. else the user's data folder, "zorbel" in $XDG_DATA_HOME
//      (~/.local/share by default) or in %LOCALAPPDATA% on Windows, made on
//      first use with a note saying which product files belong there.
// Nothing is ever written beside an installed executable. Product files the
// tool's folder lacks are read from the folders in productSources: a portable
// copy's folder that may not be written, and, for virtual boards only, the
// stand-ins installed with the tool (a real board must never get those).
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/tool_state.h"

namespace zorbel {

inline constexpr const char* kToolDirEnvironment = "ZORBEL_DIR";
inline constexpr const char* kDataFolderName = "zorbel";
inline constexpr const char* kDataFolderNoteFile = "README.txt";

struct ToolFolder {
  std::string path;  // ends in a separator; empty when error is set
  std::vector<std::string> productSources;
  std::string error;  // why no folder could be had, for the user
};

struct ToolFolderRequest {
  std::string dirOption;  // --dir; empty when not given
  bool virtualBoard = false;
  std::string executableFolder;  // ModuleDirectory() in the programs
  // Whether the process may create files in a folder.
  std::function<bool(const std::string&)> writable;
};

// Reads ZORBEL_DIR and the user's data folder from the environment.
ToolFolder FindToolFolder(const ToolFolderRequest& request);
// The request the programs make: the real executable folder and write check.
ToolFolderRequest ProgramToolFolderRequest(std::string dirOption, bool virtualBoard);
// Puts the folder into the state (moduleDirectory and the product sources).
void UseToolFolder(ToolState& state, const ToolFolder& folder);

// A product file (loader, "Zorbel.ini", "NAND ID.ini", "t.bin"): the tool's
// folder's copy, else the first source holding one; the tool's folder's path
// when none does, so that a message names where it belongs.
std::string ProductFile(const ToolState& state, std::string_view name);

// ---- platform ---------------------------------------------------------------
// An environment variable's text (UTF-8); empty when unset.
std::string EnvironmentText(const char* name);
// The folder the user's application data goes into; empty when the
// environment names none.
std::string UserDataHome();
// True when the process may create a file in the folder.
bool FolderWritable(const std::string& folder);

}  // namespace zorbel
