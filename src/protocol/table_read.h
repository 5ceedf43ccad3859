#pragma once
// The board's image tables as the list pages read and show them, over the
// disk or the COM port; the NAND flash ID step that precedes a NAND table
// read over the disk; and the flash and card size reads of the Option
// buttons. No widget here: the window's list pages and the command-line tool
// both call these.
#include <array>
#include <cstdint>
#include <istream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/tool_state.h"
#include "app/user_prompt.h"
#include "link/serial_port.h"
#include "protocol/operation_context.h"

namespace zorbel {

namespace table_text {
inline constexpr const char* kReadNorTypeError = "Read NOR Type error";
inline constexpr const char* kReadError = "Read error";
inline constexpr const char* kReadTableError = "Read NAND Image error !";
inline constexpr const char* kNandIdFileMissing = "Can not get the ini file for NAND ID";
inline constexpr const char* kNandIdReadFailed = "Can not Get NAND Flash ID";
inline constexpr const char* kNandSizeFailed = "Can not Get NAND Flash Size";
inline constexpr const char* kSdSizeFailed = "Can not Get SDCARD Size";
}  // namespace table_text

inline constexpr const char* kNandIdFile = "NAND ID.ini";

// One entry of a board's table, by the fields the lists use.
struct TableEntry {
  uint32_t number = 0;
  std::string name;
  uint32_t type = 0;   // ImageKind, or the NOR flag byte in its low byte
  uint32_t word1 = 0;  // NAND, SPI, SD: last block / bank / sector; NOR: execute address
  uint32_t word2 = 0;  // NAND, SPI, SD: first one; NOR: flash address
  uint32_t word3 = 0;  // NOR: end address
  bool operator==(const TableEntry&) const = default;
};

// Decodes count entries of entrySize (60 or 44) bytes; the bytes must hold them all.
std::vector<TableEntry> DecodeImageTable(std::span<const uint8_t> bytes, uint32_t count, size_t entrySize);

// The list page's column specification text for a medium.
const char* TableColumnSpecification(Medium medium);
// A row's cells in column order: No, Name, Type, Start, End; NOR: No, Name,
// Type, Flash address, End address, Exec address.
std::vector<std::string> TableRowCells(const TableEntry& entry, Medium medium, bool overVcom);

enum class TableRead {
  kRead,       // rows holds the table (possibly empty)
  kEmptied,    // the read failed: the list shows nothing
  kUntouched,  // the NAND ID step stopped the refresh: the list keeps what it showed
};

// The mass-storage refresh (NAND, SPI, SD). For NAND with familyMode set the
// NAND ID step runs first. Failures of the table commands are silent.
TableRead ReadImageTableMs(ToolState& state, Medium medium, UserPrompt* prompt,
                           std::vector<TableEntry>& rows);

// The COM-port refresh (NOR, NAND, SPI) on the page's port, opened on
// portPath and closed on every ending. NOR also reads the device type text.
TableRead ReadImageTableVcom(SerialPort& port, const std::string& portPath, Medium medium, UserPrompt* prompt,
                             std::vector<TableEntry>& rows, std::string* norDeviceText = nullptr,
                             uint32_t replyWaitMs = 10000);

// The raw NOR page's "Device:" text on the page's port, opened on portPath
// and closed again: FlashMethod 10, then 16 bytes up to the first zero.
// nullopt after "Failed to open %s" or "Read NOR Type error" was shown.
std::optional<std::string> ReadNorDeviceText(SerialPort& port, const std::string& portPath, UserPrompt* prompt,
                                             uint32_t replyWaitMs = 10000);

// Tables larger than this are refused as unreadable: the board gives no
// bound and a damaged count must not make the tool allocate gigabytes.
inline constexpr uint32_t kMaxTableEntries = 1u << 16;

// ---- NAND flash identification ------------------------------------------------
struct NandIdEntry {
  std::array<uint8_t, 5> id{};
  int32_t first = 0;
  int32_t second = 0;
  bool operator==(const NandIdEntry&) const = default;
};
inline constexpr size_t kMaxNandIdEntries = 50;
// The entries after the "[1stID]" line; lines that do not hold seven numbers
// are skipped; at most kMaxNandIdEntries.
std::vector<NandIdEntry> ParseNandIdTable(std::istream& in);
// The two parameters of the first entry whose ID equals id; 0 and 0 when none does.
std::array<int32_t, 2> LookUpNandId(const std::vector<NandIdEntry>& entries, std::span<const uint8_t, 5> id);
// Reads "NAND ID.ini" beside the tool, the board's flash ID, and sends the
// two parameters. False when the refresh must stop (no file, a refused parameter).
bool NandIdStep(ToolState& state, UserPrompt* prompt);

// ---- SD port ---------------------------------------------------------------------
// A family board is told the port state.sdPort, then asked to look at the
// card in that slot (its answer is the board's business). Failures are not
// reported: the list and the size read that follow show what the board has.
void SendSdPortChange(ToolState& state);

// ---- sizes of the Option buttons (MB) -----------------------------------------
// Shows "No Device Handle" when there is no disk and tries anyway; a failed
// read shows its text and gives nullopt (the pages then show 0).
std::optional<uint32_t> ReadNandFlashSize(ToolState& state, UserPrompt* prompt);
std::optional<uint32_t> ReadSdCardSize(ToolState& state, UserPrompt* prompt);

}  // namespace zorbel
