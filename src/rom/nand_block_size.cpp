#include "rom/nand_block_size.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "app/byte_order.h"
#include "app/text_fill.h"
#include "link/serial_port_common.h"
#include "protocol/protocol_texts.h"
#include "protocol/records.h"
#include "rom/rom_file.h"
#include "rom/rom_layout.h"
#include "rom/rom_messages.h"

namespace zorbel {
namespace {

constexpr uint32_t kQueueSize = 2048;
constexpr int kBlockingReads = 1;
constexpr size_t kChunk = 4096;

using FileHeader = std::array<uint8_t, kNandFileHeaderSize>;

// Reads the file header; false when the file cannot be opened. Opened for
// writing too, so a file the tool could not convert is refused up front.
bool ReadFileHeader(const std::string& path, const char* mode, FileHeader& header, size_t& got) {
  if (!IsRegularFile(path)) return false;
  std::FILE* f = OpenRomFile(path, mode);
  if (f == nullptr) return false;
  got = std::fread(header.data(), 1, header.size(), f);
  std::fclose(f);
  return true;
}

int Refuse(UserPrompt& prompt, const char* text) {
  prompt.ShowMessage(text);
  return 0;
}

}  // namespace

std::optional<uint32_t> BlockSizeFromCode(uint8_t code) {
  switch (code) {
    case 1:
      return kNandBlock16k;
    case 2:
      return kNandBlock128k;
    case 3:
      return kNandBlock256k;
    default:
      return std::nullopt;
  }
}

std::optional<uint8_t> QueryBlockSizeCode(SerialPort& port, const std::string& portPath, UserPrompt& prompt) {
  if (port.Open(portPath, kQueueSize, kQueueSize) != win_error::kSuccess) {
    prompt.ShowMessage(FillText(texts::kFailedToOpenFormat, portPath));
    return std::nullopt;
  }
  port.Setup(serial_common::kDefaultBaud, serial_common::kDefaultDataBits, 0, 0);
  port.SetupReadTimeouts(kBlockingReads, serial_common::kDefaultReadTimeoutMs);
  const uint8_t code = port.ChooseMethod(FlashMethod::kNandRaw, &prompt);
  port.Close();
  return code;
}

std::optional<uint32_t> QueryBoardBlockSize(SerialPort& port, const std::string& portPath, UserPrompt& prompt) {
  const auto code = QueryBlockSizeCode(port, portPath, prompt);
  if (!code) return std::nullopt;
  const auto blockSize = BlockSizeFromCode(*code);
  if (!blockSize) {
    prompt.ShowMessage(*code == kBlockSizeCodeError ? rom_text::kBlockSizeError : rom_text::kUnknownBlockSize);
  }
  return blockSize;
}

std::optional<uint32_t> MakeRomBlockSize(SerialPort& port, const std::string& portPath, UserPrompt& prompt) {
  if (portPath.empty()) return kNandBlock16k;
  return QueryBoardBlockSize(port, portPath, prompt);
}

NandCheckResult NandBlockSizeCheck(const std::string& filePath, const std::string& portPath, SerialPort& port,
                                   UserPrompt& prompt) {
  FileHeader header{};
  size_t got = 0;
  if (!ReadFileHeader(filePath, "r+b", header, got)) {
    prompt.ShowMessage(rom_text::kCantOpenTarget);
    return {-1, 0};
  }
  // A file without the header (a raw dump) is no NAND ROM file; the board
  // is not asked.
  if (got < header.size() || !StartsWithRomMagic(header)) return {0, 0};
  if (portPath.empty()) return {0, 0};

  const auto boardBlockSize = QueryBoardBlockSize(port, portPath, prompt);
  if (!boardBlockSize) return {0, 0};
  if (LoadLe32(&header[8]) != *boardBlockSize) {
    if (!prompt.AskOkCancel(rom_text::kBlockSizeMismatch)) return {0, 0};
    if (NandBlockSizeConvert(filePath, *boardBlockSize, prompt) != 1) return {0, 0};
  }
  return {1, LoadLe32(&header[4])};
}

int NandBlockSizeConvert(const std::string& filePath, uint32_t newBlockSize, UserPrompt& prompt) {
  if (!IsNandBlockSize(newBlockSize)) return Refuse(prompt, rom_text::kInvalidBlockSize);
  // Built beside the file and renamed over it once complete and on disk: a
  // crash or a full disk leaves the old file or the new one, never a mix.
  RomTarget temp;
  if (!temp.Open(filePath)) return Refuse(prompt, rom_text::kCantOpenTemp);
  RomInput source;
  if (!source.Open(filePath)) return Refuse(prompt, rom_text::kCantOpenTarget);

  FileHeader header{};
  if (source.Read(header) != header.size() || !StartsWithRomMagic(header)) {
    return Refuse(prompt, rom_text::kNandNotRomFile);
  }
  const uint32_t oldBlockSize = LoadLe32(&header[8]);
  if (!IsNandBlockSize(oldBlockSize)) return Refuse(prompt, rom_text::kInvalidBlockSize);
  const uint32_t count = LoadLe32(&header[4]);
  StoreLe32(&header[8], newBlockSize);
  if (!temp.Write(header)) return Refuse(prompt, rom_text::kCantWriteTarget);

  std::array<uint8_t, kChunk> buffer;
  uint64_t oldFill = 0;
  for (uint32_t i = 0; i < count; ++i) {
    std::array<uint8_t, kNandImageHeaderSize> imageHeader;
    if (!source.Skip(oldFill) || source.Read(imageHeader) != imageHeader.size()) {
      return Refuse(prompt, rom_text::kNandCountExceeds);
    }
    // Every image header carries the magic; without it the walk has lost
    // its place and would copy garbage.
    if (!StartsWithRomMagic({&imageHeader[48], 4})) return Refuse(prompt, rom_text::kNandBadImageHeader);
    const uint32_t length = LoadLe32(&imageHeader[56]);
    if (length > source.Size() - source.Position()) return Refuse(prompt, rom_text::kNandImageTruncated);
    if (!temp.Write(imageHeader)) return Refuse(prompt, rom_text::kCantWriteTarget);
    for (uint64_t left = length; left > 0;) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
      if (source.Read({buffer.data(), want}) != want) return Refuse(prompt, rom_text::kNandImageTruncated);
      if (!temp.Write({buffer.data(), want})) return Refuse(prompt, rom_text::kCantWriteTarget);
      left -= want;
    }
    if (!temp.WriteFill(NandImageFill(length, newBlockSize)))
      return Refuse(prompt, rom_text::kCantWriteTarget);
    oldFill = NandImageFill(length, oldBlockSize);
  }
  // More than the last fill left over: images the header does not count,
  // which the conversion would drop.
  if (source.Size() - source.Position() > oldFill) return Refuse(prompt, rom_text::kNandTrailingData);
  source.Close();
  if (!temp.Commit()) return Refuse(prompt, rom_text::kCantWriteTarget);

  size_t got = 0;
  if (!ReadFileHeader(filePath, "rb", header, got)) return Refuse(prompt, rom_text::kCantOpenTarget);
  if (got != header.size() || LoadLe32(&header[8]) != newBlockSize)
    return Refuse(prompt, rom_text::kSizeError);
  prompt.ShowMessage(rom_text::kConvertSuccess);
  return 1;
}

}  // namespace zorbel
