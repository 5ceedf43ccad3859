#pragma once
// The operation pages' rules without their widgets: the checks a page makes
// before anything is sent, the texts it shows for each outcome, the image
// name it proposes for a chosen file, and how image-table rows read. The
// window's pages and the command-line tool both use them, so both refuse the
// same input with the same words.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorbel {

namespace page_text {
inline constexpr const char* kConfirmOperation = "Do you confirm this operation ?";

inline constexpr const char* kChooseImageFile = "Please choose image file !";
inline constexpr const char* kChooseComparingFile = "Please choose comparing file !";
inline constexpr const char* kChooseExportedFile = "Please choose exported file !";
inline constexpr const char* kInputImageNoVerify = "Please input Image No !";
inline constexpr const char* kInputImageNumber = "Please input image number";
inline constexpr const char* kInputImageInformation = "Please input image information";
inline constexpr const char* kInputCorrectInformation = "Please input correct information";
inline constexpr const char* kSdStartSectorTooSmall = "Image start sector should be larger than 21h";
inline constexpr const char* kInputReservedSize = "Please input system reserved size";
inline constexpr const char* kReservedLargerThanTotal = "The value can not larger than total size";
inline constexpr const char* kInputExecuteAddress = "Please input execute address";
inline constexpr const char* kWrongBlocks = "Set the wrong blocks!";
inline constexpr const char* kInvalidNandImage = "Invalidate NAND image !";
inline constexpr const char* kSpiStartNotAligned = "Start offset must be 64K boundary !";

inline constexpr const char* kBurnOk = "Burn successfully";
inline constexpr const char* kBurnFailed = "Burn Failed";
inline constexpr const char* kVerifyOk = "Verify OK !";
inline constexpr const char* kVerifyFailed = "Verify Error !";
inline constexpr const char* kEraseOk = "Erase successfully";
inline constexpr const char* kEraseFailed = "Erase Failed";
inline constexpr const char* kReadOk = "Read OK !";
inline constexpr const char* kReadFailed = "Read Error !";
inline constexpr const char* kModifyFailed = "Modify Failed";
inline constexpr const char* kSetOk = "Set successfully";
inline constexpr const char* kSetFailed = "Set Failed";
// The raw NOR page over the disk and the SDRAM page word their success this way.
inline constexpr const char* kDownloadOk = "Download successfully";
inline constexpr const char* kRawNorDownloadFailed = "Download Faild";
inline constexpr const char* kSdramDownloadFailed = "Download Failed";
}  // namespace page_text

// Every number field is checked whole before anything is sent: the board
// gets exactly the number typed or nothing ("abc", "0x5" or "12 " are not an
// image number, "80O0" is not an address).
// An image number: decimal digits only, 1 to 0x7FFFFFFF (the erase heads'
// special numbers lie above).
bool IsImageNumber(std::string_view text);
// An address, offset, start block, bank or sector: 1 to 8 hexadecimal digits
// after an optional "0x".
bool IsHexField(std::string_view text);

// Fields as the add/burn pages hold them (texts as typed).
struct BurnFields {
  std::string imageNumber;     // decimal
  std::string executeAddress;  // hexadecimal
  std::string start;           // hexadecimal: start block, bank, sector, NOR flash offset
  uint32_t type = 0;           // ImageKind index; ignored by the NOR rule
};

// The NAND, SPI and SD add pages: System Image needs nothing; Logo needs the
// number and start; other types also the execute address. Missing fields give
// kInputImageInformation; an image number that is not one, a start that is not
// hexadecimal or below 1 read as signed 32 bits, or an execute address that is
// not hexadecimal give kInputCorrectInformation. Empty when the fields pass.
std::string CheckTypedImageBurn(const BurnFields& fields);
// The NOR add page: number, execute address and flash offset must be typed
// (kInputImageInformation) and read whole (kInputCorrectInformation).
std::string CheckNorImageBurn(const BurnFields& fields);
// The SD burn worker's own rule, made after the confirmation.
std::string CheckSdStartSector(const std::string& start);
// A verify needs an image number unless it is of a System Image.
std::string CheckVerifyNumber(const std::string& imageNumber, bool systemImage);
// "Erase image No" and every modify page need an image number.
std::string CheckImageNumberGiven(const std::string& imageNumber);
// Reserved area size in MB, decimal within 32 bits, against the medium's total.
std::string CheckReservedSize(const std::string& reservedMb, uint32_t totalMb);
// The raw NOR page's flash offset must be typed, in hexadecimal.
std::string CheckRawNorOffset(const std::string& offset);

// The SPI read-back block count (decimal, 64 KB each). The flash size is not
// known to the tool, so the upper bound is what a 32-bit length can carry.
inline constexpr uint32_t kSpiReadBlockSize = 65536;
inline constexpr uint32_t kMaxSpiReadBlocks = 0xFFFFu;
// The count, decimal digits only, or nullopt when it gives kWrongBlocks.
std::optional<uint32_t> ParseSpiReadBlocks(std::string_view text);

// The image name an add page proposes for a chosen file: the file name up to
// its last '.' (the whole name when that '.' is the first character), cut to
// 31 characters past 32 (familyMode set) or 15 past 16 (clear). A cut never
// splits a UTF-8 character.
std::string ProposedImageName(std::string_view filePath, uint32_t familyMode);
// A name cut as the proposed one is, for a name typed elsewhere.
std::string FitImageName(std::string_view name, uint32_t familyMode);

// ---- image table rows ---------------------------------------------------------
// The list's words for a NAND, SPI or SD type; tables read over the COM port
// know types 0 to 3 only.
const char* ImageTypeWord(uint32_t type, bool overVcom);
// One letter per NOR flag bit, in bit order: a c x f z r.
std::string NorFlagLetters(uint32_t flags);
// "0x%x".
std::string HexCell(uint32_t value);

// One column of a list's column specification text.
struct ListColumn {
  std::string title;
  int alignment = 0;  // 0 left, 1 centred, 2 right
  int width = 1;
  bool operator==(const ListColumn&) const = default;
};
// "title, width" or "title, alignment, width" entries separated by ';'; an
// entry without ',' ends the list; widths below 1 become 1.
std::vector<ListColumn> ParseColumnSpecification(std::string_view text);

}  // namespace zorbel
