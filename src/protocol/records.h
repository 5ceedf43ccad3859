#pragma once
// The board's wire vocabulary as the tool encodes it: method codes, heads,
// status words, progress message numbers and the mass-storage command codes.
// Every encoder writes its bytes explicitly little-endian; nothing here copies
// a struct into a buffer. The virtual board decodes these bytes with its own
// code, so the two sides check each other.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/byte_order.h"

namespace zorbel {

// What the following transfer is about. Codes 0 to 6 name the same target on
// both transports; above 6 they differ, hence the two prefixes.
struct FlashMethod {
  static constexpr uint8_t kSdram = 0;
  static constexpr uint8_t kNorImage = 1;  // VCOM only
  static constexpr uint8_t kNorRaw = 2;
  static constexpr uint8_t kNandImage = 3;
  static constexpr uint8_t kNandRaw = 4;  // VCOM only; also the block-size check
  static constexpr uint8_t kSpiImage = 5;
  static constexpr uint8_t kSpiRaw = 6;
  // VCOM only.
  static constexpr uint8_t kVcomReadNorTable = 7;
  static constexpr uint8_t kVcomReadNandTable = 8;
  static constexpr uint8_t kVcomReadSpiTable = 9;
  static constexpr uint8_t kVcomReadNorType = 10;
  // Mass storage only.
  static constexpr uint8_t kMsSdImage = 7;
};

// First u32 of an ImageHead and of the raw-media RawHeads. Over mass storage
// kVerify also reads raw SPI data back.
enum class HeadCommand : uint32_t { kBurn = 0, kModify = 1, kErase = 2, kVerify = 3 };

// The SDRAM heads carry their own command values.
inline constexpr uint32_t kSdramVcomCommand = 0;
inline constexpr uint32_t kSdramMsCommand = 1;
inline constexpr uint32_t kSdramRunFlag = 0x80000000u;     // VCOM "Download and run"
inline constexpr uint32_t kMsSdramAddress = 0x00008000u;   // fixed; the page's address is not used
inline constexpr uint32_t kMsLoaderAddress = 0x00E00000u;  // second loader stage over mass storage
inline constexpr uint32_t kMsLoaderCommand = 1;

// Special image numbers, erase heads only.
inline constexpr uint32_t kEraseAllImages = 0xFFFFFFFFu;   // ERASE_ALL_IMAGES
inline constexpr uint32_t kEraseSystemArea = 0xFFFFEEEEu;  // ERASE_SYSTEM_AREA, NAND only

// ---- RawHead (12 bytes): SDRAM and raw media -------------------------------
inline constexpr size_t kRawHeadSize = 12;

struct RawHead {
  uint32_t command = 0;
  uint32_t length = 0;
  uint32_t address = 0;
};

std::array<uint8_t, kRawHeadSize> EncodeRawHead(const RawHead& head);

// ---- ImageHead (60 bytes) / ShortImageHead (44 bytes) ----------------------
inline constexpr size_t kImageHeadSize = 60;
inline constexpr size_t kShortImageHeadSize = 44;
inline constexpr size_t kImageNameSize = 32;
inline constexpr size_t kShortImageNameSize = 16;

// NOR image type: one bit per check box of the NOR image page.
struct ImageTypeFlags {
  static constexpr uint32_t kActive = 0x01;
  static constexpr uint32_t kCopy2Ram = 0x02;
  static constexpr uint32_t kExec = 0x04;
  static constexpr uint32_t kFile = 0x08;
  static constexpr uint32_t kCompressed = 0x10;
  static constexpr uint32_t kRomFs = 0x20;
  static constexpr uint32_t kAll = 0x3F;
};

// NAND, SPI and SD image type: the index of the page's type radio group.
enum class ImageKind : uint32_t { kData = 0, kExecute = 1, kRomFs = 2, kSystemImage = 3, kLogo = 4 };

struct ImageHeadFields {
  HeadCommand command = HeadCommand::kBurn;
  uint32_t length = 0;  // image data that follows; 0 in modify and erase heads
  uint32_t number = 0;  // image number or a special number
  std::string name;     // bytes as typed; cut to the field, NUL-padded when shorter
  uint32_t type = 0;    // ImageTypeFlags (NOR) or ImageKind (NAND, SPI, SD)
  uint32_t execAddress = 0;
  uint32_t start = 0;  // NOR offset, NAND start block, SPI start bank, SD start sector
};

// A burn head of a System Image carries no number, execute address or start:
// returns the fields with those three set to 0 when type is kSystemImage.
ImageHeadFields WithSystemImageZeros(ImageHeadFields fields);

// The 32-byte name field: the name's first 32 bytes; a shorter name is
// followed by zero bytes, a 32-byte or longer one has no terminator.
std::array<uint8_t, kImageNameSize> EncodeImageName(std::string_view name);

std::array<uint8_t, kImageHeadSize> EncodeLongImageHead(const ImageHeadFields& fields);
// Same fields with the first 16 bytes of the 32-byte name field.
std::array<uint8_t, kShortImageHeadSize> EncodeShortImageHead(const ImageHeadFields& fields);
// The layout the board expects: 60 bytes when familyMode is non-zero (a
// recognised family), 44 bytes for the older chip.
std::vector<uint8_t> EncodeImageHead(const ImageHeadFields& fields, uint32_t familyMode);

// NAND whole-flash erase over mass storage, one head per run of 256 blocks:
// an erase head numbered kEraseAllImages whose execute-address field holds the
// last block and whose start field the first. Always 60 bytes on the wire: the
// short layout is followed by 16 zero bytes.
inline constexpr uint32_t kEraseRangeBlocks = 256;
std::vector<uint8_t> EncodeEraseRangeHead(uint32_t firstBlock, uint32_t lastBlock, uint32_t familyMode);

// ---- Replies over VCOM ------------------------------------------------------
inline constexpr size_t kReplySize = 4;  // head ack, ChunkAck, VerifyVerdict, status word

std::array<uint8_t, kReplySize> EncodeU32(uint32_t value);  // ChunkAck, VerifyVerdict
uint32_t DecodeU32(std::span<const uint8_t, kReplySize> bytes);

// BoardStatusWord: any bit of 0xFFFF0000 means failure; otherwise the low
// part is a percentage. An image burn reads the low 8 bits, a raw burn and an
// erase the low 16 bits.
inline constexpr uint32_t kStatusErrorMask = 0xFFFF0000u;
enum class StatusScope { kImageBurn, kRawOrErase };

struct BoardStatus {
  bool failed = false;
  uint32_t percent = 0;
  // Exactly 100 ends the wait: a raw burn's 0x164 is 356 %, not the end.
  bool done = false;
};

BoardStatus DecodeBoardStatus(uint32_t word, StatusScope scope);

// ---- Transfer units ---------------------------------------------------------
inline constexpr size_t kVcomChunkSize = 4096;
inline constexpr size_t kMsChunkSize = 65536;

// ---- ProgressMessage numbers (WM_USER + n) ----------------------------------
struct ProgressMessage {
  static constexpr uint32_t kSdram = 0x405;
  static constexpr uint32_t kNorRaw = 0x406;
  static constexpr uint32_t kNorImage = 0x407;
  static constexpr uint32_t kNorErase = 0x408;
  static constexpr uint32_t kSpiImage = 0x409;
  static constexpr uint32_t kSpiErase = 0x40A;
  static constexpr uint32_t kNandImage = 0x40B;
  static constexpr uint32_t kNandErase = 0x40C;
  static constexpr uint32_t kNandRaw = 0x40D;
  static constexpr uint32_t kSpiRaw = 0x40E;
  static constexpr uint32_t kSdImage = 0x41B;
  static constexpr uint32_t kSdErase = 0x41C;
  static constexpr uint32_t kNandOption = 0x41F;
  static constexpr uint32_t kSdOption = 0x420;  // posted, but the SD page has no handler for it
};

// ---- Mass-storage command set ----------------------------------------------
// Loader-stage command blocks: byte 0 is the command letter.
struct MsCommand {
  static constexpr uint8_t kWriterProcess = 0x61;  // CMD_WriterProcess
  static constexpr uint8_t kReadTable = 0x62;      // CMD_ReadTable
  static constexpr uint8_t kWriteFile = 0x63;      // CMD_WriteFile
  static constexpr uint8_t kGetFileData = 0x64;    // CMD_GetFileData
  static constexpr uint8_t kGetLastStatus = 0x65;  // CMD_GetLastStatus
  static constexpr uint8_t kSetParameter = 0x66;   // CMD_SetParameter
};

// Boot-stage command blocks: byte 0 is 0x06, byte 1 the letter; the run
// command is a block of its own starting with 0x60.
struct MsBootCommand {
  static constexpr uint8_t kPrefix = 0x06;
  static constexpr uint8_t kQuery = 'Q';
  static constexpr uint8_t kSettingFirst = 'R';
  static constexpr uint8_t kSettingSecond = 'S';
  static constexpr uint8_t kLoadAddress = 'U';
  static constexpr uint8_t kWriteLoader = 'r';
  static constexpr uint8_t kRun = 0x60;
  static constexpr uint32_t kReplyLength = 3583;  // 'Q', 'R', 'S', 'U'
  static constexpr uint32_t kRunReplyLengthOlderChip = 8;
};

// Byte 1 of the unit-carrying commands.
inline constexpr uint8_t kMsUnitDefault = 0;
inline constexpr uint8_t kMsUnitSdCard = 3;

// Byte 6 of CMD_GetLastStatus.
struct StatusSelector {
  static constexpr uint8_t kNandBlockCount = 0;
  static constexpr uint8_t kEraseProgress = 2;
  static constexpr uint8_t kLastStatus = 3;
  static constexpr uint8_t kNandFlashSize = 4;
  static constexpr uint8_t kSdCardSize = 5;
  static constexpr uint8_t kNandFlashId = 6;  // the one selector that reads 5 bytes
};
inline constexpr uint32_t StatusReplyLength(uint8_t selector) {
  return selector == StatusSelector::kNandFlashId ? 5 : 4;
}

// Byte 6 of CMD_SetParameter.
struct ParameterSelector {
  static constexpr uint8_t kNandReservedSize = 0;
  static constexpr uint8_t kSdReservedSize = 1;
  static constexpr uint8_t kNandIdFirst = 2;
  static constexpr uint8_t kNandIdSecond = 3;
  static constexpr uint8_t kSdFormatFlag = 4;
  static constexpr uint8_t kSdPort = 5;
};

// Byte 6 of CMD_ReadTable.
struct TableMedium {
  static constexpr uint8_t kNand = 1;
  static constexpr uint8_t kSpi = 2;
  static constexpr uint8_t kSd = 3;
};

// Time-outs in seconds.
struct MsTimeout {
  static constexpr uint32_t kWriterProcess = 100;
  static constexpr uint32_t kReadTable = 50;
  static constexpr uint32_t kWriteFile = 20;
  static constexpr uint32_t kGetFileData = 20;
  static constexpr uint32_t kGetLastStatus = 20;
  static constexpr uint32_t kSetParameter = 100;
  static constexpr uint32_t kBootCommand = 20;
  static constexpr uint32_t kBootWriteLoader = 50;
  static constexpr uint32_t kBootRun = 5;
};

// ---- Parameter blocks (CMD_SetParameter) -----------------------------------
// Only the low 16 bits of a reserved size reach the board.
std::array<uint8_t, 4> EncodeReservedSize(uint32_t size);
// {flag, 0}; flag 1 asks the board to format the card.
std::array<uint8_t, 2> EncodeFormatFlag(bool format);
// A plain little-endian u32 parameter (the NAND identification values).
std::array<uint8_t, 4> EncodeU32Parameter(uint32_t value);

// ---- LoaderImageHeader: the first 16 bytes of every loader file -------------
// Parsing is inline: the connection code in link/ reads loader headers and
// must not need this library at link time.
inline constexpr size_t kLoaderHeaderSize = 16;
inline constexpr uint32_t kMaxLoaderPayload = 65536;

struct LoaderImageHeader {
  std::array<uint8_t, 4> magic{};
  uint32_t address = 0;
  uint32_t length = 0;  // first-stage payload length
  uint8_t version = 0;
  uint8_t day = 0;
  uint8_t month = 0;
  uint8_t year = 0;

  bool HasRomMagic() const { return StartsWithRomMagic(magic); }
  // " 20YY/MM/DD-VNN": each byte printed as two hexadecimal digits.
  std::string VersionText() const {
    char text[32];
    std::snprintf(text, sizeof text, " 20%02x/%02x/%02x-V%02x", year, month, day, version);
    return text;
  }
};

// Bytes shorter than 16 give false and leave *out unchanged.
inline bool ParseLoaderImageHeader(std::span<const uint8_t> bytes, LoaderImageHeader* out) {
  if (bytes.size() < kLoaderHeaderSize) return false;
  LoaderImageHeader h;
  for (size_t i = 0; i < h.magic.size(); ++i) h.magic[i] = bytes[i];
  h.address = LoadLe32(bytes.data() + 4);
  h.length = LoadLe32(bytes.data() + 8);
  h.version = bytes[12];
  h.day = bytes[13];
  h.month = bytes[14];
  h.year = bytes[15];
  *out = h;
  return true;
}
// Reads the first 16 bytes of a file; false when it cannot be opened or is
// shorter than 16 bytes, with *error (if given) saying which.
bool ReadLoaderImageHeader(const std::string& path, LoaderImageHeader* out, std::string* error = nullptr);

}  // namespace zorbel
