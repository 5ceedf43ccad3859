#include "protocol/table_read.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "app/byte_order.h"
#include "app/file_replace.h"
#include "app/text_fill.h"
#include "app/tool_folder.h"
#include "link/updatepmp.h"
#include "protocol/page_rules.h"
#include "protocol/protocol_texts.h"
#include "protocol/records.h"

namespace zorbel {
namespace {

constexpr uint32_t kQueueSize = 2048;
constexpr uint32_t kBaudRate = 9600;
constexpr size_t kNorTypeTextSize = 16;
// Byte 7 of CMD_ReadTable: 0 the count, 1 the table, 2 the card look after a port change.
constexpr uint8_t kSdCardRescanPart = 2;

struct EntryLayout {
  size_t nameSize;
  size_t typeAt;
};

std::string NameField(const uint8_t* p, size_t size) {
  size_t n = 0;
  while (n < size && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

void Show(UserPrompt* prompt, const std::string& text) {
  if (prompt != nullptr) prompt->ShowMessage(text);
}

uint8_t TableMediumCode(Medium medium) {
  switch (medium) {
    case Medium::kNand:
      return TableMedium::kNand;
    case Medium::kSpi:
      return TableMedium::kSpi;
    default:
      return TableMedium::kSd;
  }
}

bool OpenBoardPort(SerialPort& port, const std::string& portPath, UserPrompt* prompt, uint32_t replyWaitMs) {
  if (port.Open(portPath, kQueueSize, kQueueSize) != win_error::kSuccess) {
    Show(prompt, FillText(texts::kFailedToOpenFormat, portPath));
    return false;
  }
  port.Setup(kBaudRate, 8, 0, 0);
  port.SetupReadTimeouts(1, replyWaitMs);
  return true;
}

struct PortCloser {
  SerialPort& port;
  ~PortCloser() { port.Close(); }
};

// After FlashMethod 10: the board sends the 16-byte type text.
std::optional<std::string> ReadNorTypeText(SerialPort& port, UserPrompt* prompt, uint32_t replyWaitMs) {
  std::array<uint8_t, kNorTypeTextSize> text{};
  uint32_t got = 0;
  port.Read(text.data(), kNorTypeTextSize, &got, nullptr, replyWaitMs);
  if (got < kNorTypeTextSize) {
    Show(prompt, table_text::kReadNorTypeError);
    return std::nullopt;
  }
  return NameField(text.data(), kNorTypeTextSize);
}

}  // namespace

std::optional<std::string> ReadNorDeviceText(SerialPort& port, const std::string& portPath, UserPrompt* prompt,
                                             uint32_t replyWaitMs) {
  if (!OpenBoardPort(port, portPath, prompt, replyWaitMs)) return std::nullopt;
  PortCloser closer{port};
  port.ChooseMethod(FlashMethod::kVcomReadNorType, prompt);
  return ReadNorTypeText(port, prompt, replyWaitMs);
}

std::vector<TableEntry> DecodeImageTable(std::span<const uint8_t> bytes, uint32_t count, size_t entrySize) {
  const EntryLayout layout = entrySize == kShortImageHeadSize
                                 ? EntryLayout{kShortImageNameSize, 12 + kShortImageNameSize}
                                 : EntryLayout{kImageNameSize, 12 + kImageNameSize};
  std::vector<TableEntry> rows;
  for (uint32_t i = 0; i < count && (static_cast<size_t>(i) + 1) * entrySize <= bytes.size(); ++i) {
    const uint8_t* e = bytes.data() + static_cast<size_t>(i) * entrySize;
    TableEntry row;
    row.number = LoadLe32(e + 8);
    row.name = NameField(e + 12, layout.nameSize);
    row.type = LoadLe32(e + layout.typeAt);
    row.word1 = LoadLe32(e + layout.typeAt + 4);
    row.word2 = LoadLe32(e + layout.typeAt + 8);
    row.word3 = LoadLe32(e + layout.typeAt + 12);
    rows.push_back(std::move(row));
  }
  return rows;
}

const char* TableColumnSpecification(Medium medium) {
  switch (medium) {
    case Medium::kNor:
      return "No, 30; Name, 80; Type, 60;Flash address, 75;End address, 72;Exec address, 75";
    case Medium::kNand:
      return "No, 30; Name, 80; Type, 60;Start block, 80;End block, 80";
    case Medium::kSpi:
      return "No, 30; Name, 80; Type, 60;Start offset, 80;End offset, 80";
    case Medium::kSd:
      return "No, 30; Name, 80; Type, 60;Start sector, 80;End sector, 80";
  }
  return "";
}

std::vector<std::string> TableRowCells(const TableEntry& entry, Medium medium, bool overVcom) {
  if (medium == Medium::kNor) {
    return {std::to_string(entry.number), entry.name,           NorFlagLetters(entry.type & 0xFF),
            HexCell(entry.word2),         HexCell(entry.word3), HexCell(entry.word1)};
  }
  return {std::to_string(entry.number), entry.name, ImageTypeWord(entry.type, overVcom), HexCell(entry.word2),
          HexCell(entry.word1)};
}

TableRead ReadImageTableMs(ToolState& state, Medium medium, UserPrompt* prompt,
                           std::vector<TableEntry>& rows) {
  if (medium == Medium::kNor) return TableRead::kUntouched;
  if (medium == Medium::kNand && state.familyMode != 0 && !NandIdStep(state, prompt))
    return TableRead::kUntouched;
  rows.clear();
  ScsiTransport* disk = state.connection.deviceHandle();
  const uint8_t unit = medium == Medium::kSd ? kMsUnitSdCard : kMsUnitDefault;
  const uint8_t code = TableMediumCode(medium);
  std::array<uint8_t, 4> countBytes{};
  if (!MassStorageLink::CMD_ReadTable(disk, unit, code, 0, countBytes.data(), 4)) return TableRead::kEmptied;
  const auto count = static_cast<int32_t>(LoadLe32(countBytes.data()));
  if (count <= 0) return TableRead::kRead;
  if (static_cast<uint32_t>(count) > kMaxTableEntries) return TableRead::kEmptied;
  const size_t entrySize = state.familyMode != 0 ? kImageHeadSize : kShortImageHeadSize;
  std::vector<uint8_t> table(static_cast<size_t>(count) * entrySize);
  if (!MassStorageLink::CMD_ReadTable(disk, unit, code, 1, table.data(),
                                      static_cast<uint32_t>(table.size()))) {
    return TableRead::kEmptied;
  }
  rows = DecodeImageTable(table, static_cast<uint32_t>(count), entrySize);
  return TableRead::kRead;
}

TableRead ReadImageTableVcom(SerialPort& port, const std::string& portPath, Medium medium, UserPrompt* prompt,
                             std::vector<TableEntry>& rows, std::string* norDeviceText,
                             uint32_t replyWaitMs) {
  rows.clear();
  if (medium == Medium::kSd) return TableRead::kUntouched;
  if (portPath.empty()) return TableRead::kEmptied;
  if (!OpenBoardPort(port, portPath, prompt, replyWaitMs)) return TableRead::kEmptied;
  PortCloser closer{port};
  const uint8_t method = medium == Medium::kNor    ? FlashMethod::kVcomReadNorType
                         : medium == Medium::kNand ? FlashMethod::kVcomReadNandTable
                                                   : FlashMethod::kVcomReadSpiTable;
  port.ChooseMethod(method, prompt);
  if (medium == Medium::kNor) {
    const auto text = ReadNorTypeText(port, prompt, replyWaitMs);
    if (!text) return TableRead::kEmptied;
    if (norDeviceText != nullptr) *norDeviceText = *text;
    port.ChooseMethod(FlashMethod::kVcomReadNorTable, prompt);
  }
  std::array<uint8_t, 4> countBytes{};
  uint32_t got = 0;
  // The board answers the count once it has gathered its table.
  port.Read(countBytes.data(), 4, &got, nullptr, kInfinite);
  const auto count = static_cast<int32_t>(LoadLe32(countBytes.data()));
  if (got < 4) {
    if (medium != Medium::kNor) Show(prompt, table_text::kReadError);
    return TableRead::kEmptied;
  }
  if (count <= 0) return TableRead::kRead;
  if (static_cast<uint32_t>(count) > kMaxTableEntries) {
    Show(prompt, table_text::kReadTableError);
    return TableRead::kEmptied;
  }
  std::vector<uint8_t> table(static_cast<size_t>(count) * kImageHeadSize);
  got = 0;
  port.Read(table.data(), static_cast<uint32_t>(table.size()), &got, nullptr, replyWaitMs);
  if (got < table.size()) {
    Show(prompt, table_text::kReadTableError);
    return TableRead::kEmptied;
  }
  rows = DecodeImageTable(table, static_cast<uint32_t>(count), kImageHeadSize);
  return TableRead::kRead;
}

std::vector<NandIdEntry> ParseNandIdTable(std::istream& in) {
  std::vector<NandIdEntry> entries;
  std::string line;
  bool header = false;
  while (std::getline(in, line)) {
    if (!header) {
      header = line.find("[1stID]") != std::string::npos;
      continue;
    }
    if (entries.size() == kMaxNandIdEntries) break;
    unsigned id[5];
    int first = 0, second = 0;
    if (std::sscanf(line.c_str(), "%x %x %x %x %x %d %d", &id[0], &id[1], &id[2], &id[3], &id[4], &first,
                    &second) != 7) {
      continue;
    }
    NandIdEntry entry;
    for (size_t i = 0; i < 5; ++i) entry.id[i] = static_cast<uint8_t>(id[i]);
    entry.first = first;
    entry.second = second;
    entries.push_back(entry);
  }
  return entries;
}

std::array<int32_t, 2> LookUpNandId(const std::vector<NandIdEntry>& entries, std::span<const uint8_t, 5> id) {
  for (const auto& entry : entries) {
    if (std::equal(entry.id.begin(), entry.id.end(), id.begin())) return {entry.first, entry.second};
  }
  return {0, 0};
}

bool NandIdStep(ToolState& state, UserPrompt* prompt) {
  std::ifstream in;
  if (!OpenForReading(in, ProductFile(state, kNandIdFile), FileMode::kText)) {
    Show(prompt, table_text::kNandIdFileMissing);
    return false;
  }
  const auto entries = ParseNandIdTable(in);
  in.close();
  ScsiTransport* disk = state.connection.deviceHandle();
  std::array<uint8_t, MassStorageLink::kNandIdLength> id{};
  std::array<int32_t, 2> parameters{0, 0};
  if (!MassStorageLink::CMD_GetLastStatus(disk, StatusSelector::kNandFlashId, id.data())) {
    Show(prompt, table_text::kNandIdReadFailed);
  } else {
    parameters = LookUpNandId(entries, id);
  }
  const uint8_t selectors[2] = {ParameterSelector::kNandIdFirst, ParameterSelector::kNandIdSecond};
  for (size_t i = 0; i < 2; ++i) {
    const auto bytes = EncodeU32Parameter(static_cast<uint32_t>(parameters[i]));
    if (!MassStorageLink::CMD_SetParameter(disk, selectors[i], bytes.data(), 4, nullptr)) return false;
  }
  return true;
}

void SendSdPortChange(ToolState& state) {
  ScsiTransport* disk = state.connection.deviceHandle();
  // A length of 1 travels as the port byte and a 0.
  const std::array<uint8_t, 2> port{static_cast<uint8_t>(state.sdPort), 0};
  MassStorageLink::CMD_SetParameter(disk, ParameterSelector::kSdPort, port.data(), 1, nullptr);
  std::array<uint8_t, 4> answer{};
  MassStorageLink::CMD_ReadTable(disk, kMsUnitSdCard, TableMedium::kSd, kSdCardRescanPart, answer.data(), 4);
}

namespace {

std::optional<uint32_t> ReadSize(ToolState& state, UserPrompt* prompt, uint8_t selector,
                                 const char* failure) {
  ScsiTransport* disk = state.connection.deviceHandle();
  if (disk == nullptr) Show(prompt, texts::kNoDeviceHandle);
  std::array<uint8_t, MassStorageLink::kStatusLength> bytes{};
  if (!MassStorageLink::CMD_GetLastStatus(disk, selector, bytes.data())) {
    Show(prompt, failure);
    return std::nullopt;
  }
  return LoadLe32(bytes.data());
}

}  // namespace

std::optional<uint32_t> ReadNandFlashSize(ToolState& state, UserPrompt* prompt) {
  return ReadSize(state, prompt, StatusSelector::kNandFlashSize, table_text::kNandSizeFailed);
}

std::optional<uint32_t> ReadSdCardSize(ToolState& state, UserPrompt* prompt) {
  return ReadSize(state, prompt, StatusSelector::kSdCardSize, table_text::kSdSizeFailed);
}

}  // namespace zorbel
