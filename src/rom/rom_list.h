#pragma once
// The list files the Make ROM dialogs keep (mkrom.ini, nandrom.ini,
// spirom.ini): their rows, the image sections the dialogs add, modify and
// remove, the NOR boot settings and PHY types. The file is the dialogs' only
// state: every change reads it afresh and replaces it whole, and a file that
// exists but cannot be read is never replaced.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/user_prompt.h"

namespace zorbel {

class ProfileReader;

enum class RomListKind : uint8_t { kNor, kNand, kSpi };

inline constexpr const char* kRomListFolder = "mkrom";
const char* RomListFileName(RomListKind kind);  // "mkrom.ini", "nandrom.ini", "spirom.ini"

namespace rom_list_text {
inline constexpr const char* kOpenConfigError = "Open Config file error !";
// A list file that could not be replaced: the change is not made.
inline constexpr const char* kSaveConfigError = "Save Config file error !";
inline constexpr const char* kCantOpenFile = "ERROR: Can't open file !";
inline constexpr const char* kNoImage0 = "ERROR: No Image 0 !";
inline constexpr const char* kNumberRangeNor = "<Image No> should between 1-7 !";
inline constexpr const char* kNumberRange = "<Image No> should between 0-7 !";
inline constexpr const char* kDuplicate = "<Image No> duplicate !";
inline constexpr const char* kChooseImage = "Please choose image !";
inline constexpr const char* kImage0System = "Image 0 must be <system> type !";
inline constexpr const char* kEnterStart = "Please enter start bank or offset !";
inline constexpr const char* kStart64k = "Start offset must be 64K boundary !";
inline constexpr const char* kSelectOneToModify = "Please select one item to modify !";
inline constexpr const char* kSelectToRemove = "Please select item(s) to remove !";
inline constexpr const char* kChooseBootloader = "Please choose bootloader image file !";
inline constexpr const char* kInvalidMac = "Invalid MAC address !";
inline constexpr const char* kCreateRomError = "Create Rom Bin error !";
inline constexpr const char* kPhyTooLong32 = "Phy name too long (Max 32) !";
inline constexpr const char* kPhyTooLong16 = "Phy name too long (Max 16) !";
inline constexpr const char* kPhyDuplicate = "Phy name duplicate !";
inline constexpr const char* kPhyDefault = "Default value can not be deleted !";
}  // namespace rom_list_text

// ImageKind of NAND and SPI images; Logo only on SPI.
enum class RomImageKind : uint32_t { kData = 0, kExecute = 1, kRomfs = 2, kSystem = 3, kLogo = 4 };

// What an image dialog edits. Hex texts are without their "0x".
struct RomImage {
  int number = 0;
  std::string path;  // the image file, full path
  std::string name;
  // NOR
  bool active = false, copyToRam = false, execution = false, file = false, compressed = false, romfs = false,
       noFooter = false;
  std::string base = "00000000";
  std::string load = "00000000";
  // NAND, SPI
  RomImageKind kind = RomImageKind::kData;
  std::string exec;
  std::string start;
};

// One row of a dialog's image list: the texts of its columns, number first.
struct RomListRow {
  int number = 0;
  std::vector<std::string> columns;
  bool operator==(const RomListRow&) const = default;
};

// What the dialogs know of the connection and the process.
struct RomListOptions {
  uint32_t familyMode = 0;
  uint32_t nandBlockSize = 16384;  // End of NAND images
  bool spiBankMode = false;        // SPI start positions in 64 KiB banks
};

// The built-in PHY types, first in the combo; they cannot be deleted.
inline constexpr std::array<const char*, 2> kBuiltInPhys = {"DM9161X", "IP101A"};

// The NOR dialog's boot settings, as its fields show them.
struct NorBootSettings {
  std::string bootloaderPath;
  std::string imageName;
  std::string serialNumber = "0000";
  std::string bufferBase = "500000";  // hex, without "0x"
  std::string bufferSize = "100000";
  std::string baudrate = "115200";
  bool turbo = false;
  std::string mac;
  std::array<int, 4> ip{};
  bool dhcp = true;
  std::vector<std::string> phys{kBuiltInPhys.begin(), kBuiltInPhys.end()};  // the combo's entries
  int phy = 0;                                                                // the combo's selection
};

// Image and bootloader names: the file name without its last extension, cut
// to 31 characters when longer than 32 (familyMode 1) or to 15 when longer
// than 16. Characters, not bytes: a cut never splits one.
std::string RomImageName(std::string_view filePath, uint32_t familyMode);

class RomList {
 public:
  RomList(RomListKind kind, std::string path, RomListOptions options = {});
  // <moduleDirectory>mkrom/<file>; the folder is created when missing.
  static std::string PathIn(const std::string& moduleDirectory, RomListKind kind);

  RomListKind Kind() const { return kind_; }
  const std::string& Path() const { return path_; }
  const RomListOptions& Options() const { return options_; }

  // The rows of sections [Image 0] to [Image 31], ascending; none when the
  // file cannot be read.
  std::vector<RomListRow> Rows() const;
  // The section of an image as its dialog shows it; nullopt when absent.
  std::optional<RomImage> Image(int number) const;

  // The image dialog's OK checks, in order; the first failing one is shown.
  // previousNumber: the image being modified, or -1 when adding.
  bool CheckImage(const RomImage& image, int previousNumber, UserPrompt& prompt) const;

  // Each returns the new row, or nullopt after showing why nothing changed.
  std::optional<RomListRow> Add(const RomImage& image, UserPrompt& prompt) const;
  std::optional<RomListRow> Modify(int previousNumber, const RomImage& image, UserPrompt& prompt) const;
  // False after showing why the section stays (the row must stay too).
  bool Remove(int number, UserPrompt& prompt) const;

  // NAND and SPI Make, before the save dialog: the list is readable and has
  // [Image 0].
  bool CheckMakeable(UserPrompt& prompt) const;
  // Where the save dialog starts: the folder of [Target Image] Image, or
  // "c:" when there is none.
  std::string TargetFolder() const;
  std::string BootloaderFolder() const;
  // NAND and SPI Make: stores the ROM file path.
  bool StoreTarget(const std::string& romPath, UserPrompt& prompt) const;

  // NOR: the settings the file holds, the defaults where it holds none.
  NorBootSettings LoadBoot() const;
  // NOR Make after the save dialog: the checks of the fields, then every
  // boot setting and the target stored. Nothing is saved after a refusal.
  bool StoreBoot(const NorBootSettings& boot, const std::string& romPath, UserPrompt& prompt) const;
  // Add PHY Type's OK checks against the combo's entries.
  bool CheckPhyName(const std::string& name, const std::vector<std::string>& entries, UserPrompt& prompt) const;
  bool AddPhy(const std::string& name, UserPrompt& prompt) const;
  // index: the combo's selection. On success the entry goes and `phy` is 0.
  bool DeletePhy(int index, const std::string& name, UserPrompt& prompt) const;

 private:
  enum class ReadResult { kRead, kMissing, kUnreadable };
  ReadResult Read(ProfileReader& reader) const;
  // Read for a change: a missing file starts empty, an unreadable one refuses.
  bool ReadForChange(ProfileReader& reader, bool missingIsEmpty, UserPrompt& prompt) const;
  bool Save(const ProfileReader& reader, UserPrompt& prompt) const;
  // The keys of a section in writing order; nullopt after "Can't open file".
  std::optional<std::vector<std::pair<std::string, std::string>>> SectionKeys(const RomImage& image,
                                                                             bool modifying,
                                                                             UserPrompt& prompt) const;
  RomListRow RowOf(ProfileReader& reader, int number) const;
  std::string FolderOf(const char* section) const;

  RomListKind kind_;
  std::string path_;
  RomListOptions options_;
};

}  // namespace zorbel
