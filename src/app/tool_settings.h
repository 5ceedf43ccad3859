#pragma once
// The tool's own settings files beside the executable: "Zorbel.ini" (memory
// controller settings and the boot header built from them), "ZorbelSD.ini"
// (the SD port) and "path.ini" (the folder last used on each page).
#include <string>

#include "app/tool_state.h"

namespace zorbel {

class ProfileReader;

inline constexpr const char* kChipSettingsFile = "Zorbel.ini";
inline constexpr const char* kSdPortFile = "ZorbelSD.ini";
inline constexpr const char* kPathFile = "path.ini";

// ---- "Zorbel.ini" ------------------------------------------------------------
inline constexpr int kChipSettingsRead = 0;
inline constexpr int kChipSettingsMissing = -1;  // file cannot be opened; nothing changed
inline constexpr int kChipSettingsRefused = -2;  // bad content; nothing changed, *error says why

// Reads the settings for state.chipFamily (1 to 3; other families read
// nothing and return kChipSettingsRead) into state.chip: the words, the
// register list and the SystemImageHeader with its length. Section and key
// names match regardless of letter case; numbers are hexadecimal, an "0x"
// prefix allowed. A refused file (more than 100 "USER_DEFINE" lines, or a line
// or value that is not a hexadecimal number) changes nothing and leaves a
// text for the user in *error.
int ReadChipSettings(ToolState& state, const std::string& iniPath, std::string* error = nullptr);

// ---- "ZorbelSD.ini" ----------------------------------------------------------
inline constexpr uint32_t kMaxSdPort = 2;

// False when the file cannot be opened (sdPort is then set to 0). Otherwise
// the leading decimal number of the line after "[SD_Port]" becomes sdPort,
// limited to 0..2 (a negative number gives 0, 3 or more gives 2).
bool ReadSdPort(ToolState& state, const std::string& path);
// Replaces the file whole with "[SD_Port]\r\n", the port and "\r\n", and an
// empty line, written as text: on Windows every "\n" becomes "\r\n", elsewhere
// the bytes land as written ("[SD_Port]\r\n1\r\n\n"). False when it could
// not be written; the caller goes on either way.
bool WriteSdPort(const ToolState& state, const std::string& path);

// ---- "path.ini" --------------------------------------------------------------
inline constexpr const char* kPathSection = "PATH";
inline constexpr const char* kDefaultFolder = "c:";

struct PageFolderKey {
  static constexpr const char* kSdram = "SDRAM";
  static constexpr const char* kNor = "NOR";
  static constexpr const char* kRawNor = "RAWNOR";
  static constexpr const char* kNand = "NAND";
  static constexpr const char* kRawNand = "RAWNAND";
  static constexpr const char* kSpi = "SPI";
  static constexpr const char* kRawSpi = "RAWSPI";
  static constexpr const char* kSdCard = "SD card";
};

// Before a file dialog: reads the reader's file (its path set to
// ModuleFile(moduleDirectory, kPathFile)); "c:" when it cannot be read,
// otherwise the page's stored folder (empty when none is stored).
std::string RememberedFolder(ProfileReader& reader, const std::string& pageKey);
// After the user chose a file: stores the folder of chosenPath under the page
// key and writes the file back whole. False when the file could not be written.
bool RememberFolder(ProfileReader& reader, const std::string& pageKey, const std::string& chosenPath);

// The SPI raw page's files: the one to burn and the one a read-back writes.
inline constexpr const char* kImageSection = "Image";
inline constexpr const char* kWriteImageKey = "WriteImage";
inline constexpr const char* kReadImageKey = "ReadImage";

// The remembered file under key of section "Image"; empty when none is
// stored or the file cannot be read.
std::string RememberedFile(ProfileReader& reader, const char* key);
// Reads the file again (another page may have written it since) and writes
// it back whole with the path stored. False when it could not be written.
bool RememberFile(ProfileReader& reader, const char* key, const std::string& path);

}  // namespace zorbel
