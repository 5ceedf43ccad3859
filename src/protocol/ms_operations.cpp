#include "protocol/ms_operations.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <span>
#include <vector>

#include "link/updatepmp.h"
#include "protocol/operation_support.h"
#include "protocol/protocol_texts.h"
#include "protocol/records.h"
#include "protocol/text_numbers.h"

namespace zorbel {
namespace {

namespace msl = MassStorageLink;

constexpr uint32_t kChunk = static_cast<uint32_t>(kMsChunkSize);
// The SPI whole-flash erase reports its progress once a second; a board that
// has not finished after this long is not going to.
constexpr uint64_t kSpiEraseLimitMs = 10 * 60 * 1000;
constexpr uint32_t kSpiErasePollMs = 1000;
constexpr uint32_t kSettleMs = 100;
constexpr uint32_t kLoaderHeader = static_cast<uint32_t>(kLoaderHeaderSize);

// Status poll after a write, a modify, an erase or a parameter: a wait, then
// selector 3 until one call goes through.
struct PollSpec {
  uint32_t delayMs;
  uint32_t tries;
  uint32_t sleepAfterFailureMs;
};

constexpr PollSpec kShortPoll{kSettleMs, 5, 0};
constexpr PollSpec kSpiPoll{kSettleMs, 10, 0};
// The card needs a while before it answers at all.
constexpr PollSpec kSdPoll{5000 + kSettleMs, 50, 200};

struct MsMember {
  Medium medium;
  DataKind kind;
  uint8_t method;
  uint8_t unit;
  uint32_t message;
  const char* writeOpenText;
  const char* verifyOpenText;
  PollSpec poll;
};

constexpr MsMember kMembers[] = {
    {Medium::kNor, DataKind::kRaw, FlashMethod::kNorRaw, kMsUnitDefault, ProgressMessage::kNorRaw,
     texts::kMsRawNorWriteOpen, texts::kMsRawNorVerifyOpen, kShortPoll},
    {Medium::kSpi, DataKind::kRaw, FlashMethod::kSpiRaw, kMsUnitDefault, ProgressMessage::kSpiRaw,
     texts::kMsRawSpiWriteOpen, texts::kMsOpen, kSpiPoll},
    {Medium::kSpi, DataKind::kImage, FlashMethod::kSpiImage, kMsUnitDefault, ProgressMessage::kSpiImage,
     texts::kMsSpiWriteOpen, texts::kMsSpiVerifyOpen, kSpiPoll},
    {Medium::kNand, DataKind::kImage, FlashMethod::kNandImage, kMsUnitDefault, ProgressMessage::kNandImage,
     texts::kMsOpen, texts::kMsOpen, kShortPoll},
    {Medium::kSd, DataKind::kImage, FlashMethod::kMsSdImage, kMsUnitSdCard, ProgressMessage::kSdImage,
     texts::kMsOpen, texts::kMsOpen, kSdPoll},
};

const MsMember* FindMember(Medium medium, DataKind kind) {
  for (const auto& m : kMembers) {
    if (m.medium == medium && m.kind == kind) return &m;
  }
  return nullptr;
}

// Erase, modify and reserved-area targets: the image-table members.
const MsMember* FindTableMember(Medium medium) { return FindMember(medium, DataKind::kImage); }

uint32_t EraseMessage(Medium medium) {
  switch (medium) {
    case Medium::kNand:
      return ProgressMessage::kNandErase;
    case Medium::kSd:
      return ProgressMessage::kSdErase;
    default:
      return ProgressMessage::kSpiErase;
  }
}

ScsiTransport* HandleOrSay(const OperationContext& ctx) {
  ScsiTransport* handle = ctx.state.connection.deviceHandle();
  if (handle == nullptr) ShowMessage(ctx, texts::kNoDeviceHandle);
  return handle;
}

bool StatusPoll(const OperationContext& ctx, ScsiTransport* handle, const PollSpec& poll) {
  Clock& clock = ClockOf(ctx);
  clock.SleepMs(poll.delayMs);
  std::array<uint8_t, msl::kStatusLength> status{};
  for (uint32_t i = 0; i < poll.tries; ++i) {
    if (msl::CMD_GetLastStatus(handle, StatusSelector::kLastStatus, status.data())) return status[0] == 0;
    if (poll.sleepAfterFailureMs != 0) clock.SleepMs(poll.sleepAfterFailureMs);
  }
  return false;
}

bool ReadStatusWord(ScsiTransport* handle, uint8_t selector, uint32_t* value) {
  std::array<uint8_t, msl::kStatusLength> bytes{};
  if (!msl::CMD_GetLastStatus(handle, selector, bytes.data())) return false;
  *value = LoadLe32(bytes.data());
  return true;
}

// The data stream of a write or verify: an optional header, then the file.
class ChunkSource {
 public:
  ChunkSource(InputFile& file, std::span<const uint8_t> prefix) : file_(file), prefix_(prefix) {}
  bool Fill(uint8_t* out, uint32_t n) {
    const size_t fromPrefix = std::min<size_t>(n, prefix_.size());
    if (fromPrefix > 0) {
      std::memcpy(out, prefix_.data(), fromPrefix);
      prefix_ = prefix_.subspan(fromPrefix);
    }
    const size_t fromFile = n - fromPrefix;
    return file_.Read(out + fromPrefix, fromFile) == fromFile;
  }

 private:
  InputFile& file_;
  std::span<const uint8_t> prefix_;
};

// The one mass-storage chunk loop: total bytes in 65 536-byte chunks, each
// handed to `step`, with the percentage posted after every chunk.
bool ForEachChunk(const OperationContext& ctx, uint32_t total, uint32_t message,
                  const std::function<bool(uint8_t* chunk, uint32_t length)>& step,
                  const std::function<bool(uint8_t* chunk, uint32_t length)>& fill) {
  std::vector<uint8_t> buffer(kChunk);
  uint64_t done = 0;
  while (done < total) {
    const uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(kChunk, total - done));
    if (!fill(buffer.data(), length)) return false;
    if (!step(buffer.data(), length)) return false;
    done += length;
    PostProgress(ctx, message, static_cast<uint32_t>(done * 100 / total));
  }
  return true;
}

bool FillFrom(const OperationContext& ctx, ChunkSource& source, uint8_t* chunk, uint32_t length) {
  if (source.Fill(chunk, length)) return true;
  ShowMessage(ctx, texts::kFileReadError);
  return false;
}

bool SendChunks(const OperationContext& ctx, ScsiTransport* handle, uint8_t unit, ChunkSource& source,
                uint32_t total, uint32_t message, bool postZeroOnFailure) {
  return ForEachChunk(
      ctx, total, message,
      [&](uint8_t* chunk, uint32_t length) {
        uint32_t transferred = 0;
        if (!msl::CMD_WriteFile(handle, unit, chunk, length, &transferred)) {
          if (postZeroOnFailure) PostProgress(ctx, message, 0);
          ShowMessage(ctx, texts::kUpdateError);
          return false;
        }
        if (transferred != length) {
          ShowMessage(ctx, texts::kUpdateLengthError);
          return false;
        }
        return true;
      },
      [&](uint8_t* chunk, uint32_t length) { return FillFrom(ctx, source, chunk, length); });
}

bool CompareChunks(const OperationContext& ctx, ScsiTransport* handle, uint8_t unit, ChunkSource& source,
                   uint32_t total, uint32_t message) {
  std::vector<uint8_t> board(kChunk);
  return ForEachChunk(
      ctx, total, message,
      [&](uint8_t* chunk, uint32_t length) {
        if (!msl::CMD_GetFileData(handle, unit, board.data(), length)) {
          DebugLine(texts::kGetFileDataFailed);
          return false;
        }
        if (std::memcmp(chunk, board.data(), length) != 0) {
          DebugLine(texts::kCompareError);
          return false;
        }
        return true;
      },
      [&](uint8_t* chunk, uint32_t length) { return FillFrom(ctx, source, chunk, length); });
}

// Opens the operation's file and checks its length: 0 when it cannot be used
// (the reason has been shown).
uint32_t OpenData(const OperationContext& ctx, InputFile& file, const char* openText, uint32_t skip,
                  const char* tooShortText) {
  if (!file.Open(ctx.filePath)) {
    ShowMessage(ctx, openText);
    return 0;
  }
  if (file.Length() < skip) {
    ShowMessage(ctx, tooShortText);
    return 0;
  }
  const uint64_t length = file.Length() - skip;
  if (length == 0) {
    ShowMessage(ctx, texts::kFileLengthZero);
    return 0;
  }
  // Room for a boot header on top.
  if (length > UINT32_MAX - kBootHeaderCapacity) {
    ShowMessage(ctx, texts::kFileTooLarge);
    return 0;
  }
  if (!file.SeekTo(skip)) {
    ShowMessage(ctx, texts::kFileReadError);
    return 0;
  }
  return static_cast<uint32_t>(length);
}

// The boot header that leads a System Image's data, carrying the file's
// length in its third word as the board stores it.
std::vector<uint8_t> SystemImagePrefix(const OperationContext& ctx, uint32_t fileLength) {
  const auto header = ctx.state.chip.SystemImageHeader();
  std::vector<uint8_t> prefix(header.begin(), header.end());
  if (prefix.size() >= 12) StoreLe32(prefix.data() + 8, fileLength);
  return prefix;
}

std::vector<uint8_t> ToVector(std::span<const uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }

bool SendHead(ScsiTransport* handle, const MsMember& member, const std::vector<uint8_t>& head) {
  return msl::CMD_WriterProcess(handle, member.unit, member.method, head.data(),
                                static_cast<uint32_t>(head.size()));
}

// Plain downloads into SDRAM: the SDRAM page's file and the older chip's
// second loader stage.
int Download(OperationContext& ctx, const char* openText, uint32_t skip, const char* tooShortText,
             uint32_t address, uint32_t message) {
  ScsiTransport* handle = HandleOrSay(ctx);
  if (handle == nullptr || ctx.filePath.empty()) return 0;
  InputFile file;
  const uint32_t length = OpenData(ctx, file, openText, skip, tooShortText);
  if (length == 0) return 0;
  const auto head = EncodeRawHead(RawHead{kSdramMsCommand, length, address});
  if (!msl::CMD_WriterProcess(handle, kMsUnitDefault, FlashMethod::kSdram, head.data(), kRawHeadSize)) {
    return 0;
  }
  ChunkSource source(file, {});
  return SendChunks(ctx, handle, kMsUnitDefault, source, length, message, false) ? 1 : 0;
}

std::vector<uint8_t> TableHead(const OperationContext& ctx, HeadCommand command, uint32_t number,
                               uint32_t type) {
  ImageHeadFields fields;
  fields.command = command;
  fields.number = number;
  fields.type = type;
  return EncodeImageHead(fields, ctx.state.familyMode);
}

uint32_t PageImageNumber(const OperationContext& ctx) {
  return ScanDecimal(ctx.head.imageNumber).value_or(0);
}

int EraseSpiWholeFlash(OperationContext& ctx, ScsiTransport* handle, const MsMember& member) {
  const uint32_t message = ProgressMessage::kSpiErase;
  PostProgress(ctx, message, 0);
  if (!SendHead(handle, member, TableHead(ctx, HeadCommand::kErase, kEraseAllImages, 0))) return 0;
  Clock& clock = ClockOf(ctx);
  const uint64_t startMs = clock.NowMs();
  for (uint32_t polls = 0;;) {
    uint32_t busy = 0;
    if (!ReadStatusWord(handle, StatusSelector::kEraseProgress, &busy)) return 0;
    if (busy == 0) {
      PostProgress(ctx, message, 100);
      return 1;
    }
    if (clock.NowMs() - startMs >= kSpiEraseLimitMs) return 0;
    clock.SleepMs(kSpiErasePollMs);
    ++polls;
    if (polls < 100) PostProgress(ctx, message, polls);
  }
}

int EraseNandWholeFlash(OperationContext& ctx, ScsiTransport* handle, const MsMember& member) {
  const uint32_t message = ProgressMessage::kNandErase;
  uint32_t word = 0;
  if (!ReadStatusWord(handle, StatusSelector::kNandBlockCount, &word)) return 0;
  const int64_t blocks = static_cast<int32_t>(word);
  PostProgress(ctx, message, 0);
  int64_t passes = blocks / kEraseRangeBlocks + (blocks % kEraseRangeBlocks != 0 ? 1 : 0);
  passes = std::max<int64_t>(passes, 1);
  const uint32_t step = static_cast<uint32_t>(100 / passes);
  for (int64_t k = 0; k < passes; ++k) {
    const auto first = static_cast<uint32_t>(k * kEraseRangeBlocks);
    const auto head = EncodeEraseRangeHead(first, first + kEraseRangeBlocks - 1, ctx.state.familyMode);
    if (!SendHead(handle, member, head)) return 0;
    PostProgress(ctx, message, static_cast<uint32_t>(k + 1) * step);
  }
  PostProgress(ctx, message, 100);
  return StatusPoll(ctx, handle, kShortPoll) ? 1 : 0;
}

}  // namespace

int MsWriteImage(OperationContext& ctx, Medium medium, DataKind kind) {
  const MsMember* member = FindMember(medium, kind);
  if (member == nullptr) return 0;
  const bool image = kind == DataKind::kImage;
  if (image) SetBarColour(ctx, kBurnPhaseColour);
  ScsiTransport* handle = HandleOrSay(ctx);
  if (handle == nullptr || ctx.filePath.empty()) return 0;
  InputFile file;
  const uint32_t fileLength = OpenData(ctx, file, member->writeOpenText, 0, nullptr);
  if (fileLength == 0) return 0;

  std::vector<uint8_t> prefix;
  std::vector<uint8_t> head;
  if (image) {
    const HeadFields& page = ctx.head;
    const bool systemImage = page.imageType == static_cast<uint32_t>(ImageKind::kSystemImage);
    if (systemImage && ctx.state.familyMode == 1) prefix = SystemImagePrefix(ctx, fileLength);
    ImageHeadFields fields;
    fields.command = HeadCommand::kBurn;
    fields.length = fileLength + static_cast<uint32_t>(prefix.size());
    fields.name = page.imageName;
    fields.type = page.imageType;
    if (!systemImage) {
      fields.number = ScanDecimal(page.imageNumber).value_or(0);
      fields.execAddress = ScanHex(page.executeAddress).value_or(0);
      fields.start = ScanHex(page.start).value_or(0);
    }
    head = EncodeImageHead(fields, ctx.state.familyMode);
  } else {
    const uint32_t address = medium == Medium::kNor ? ScanHex(ctx.head.address).value_or(0) : 0;
    head = ToVector(EncodeRawHead(RawHead{static_cast<uint32_t>(HeadCommand::kBurn), fileLength, address}));
  }
  if (!SendHead(handle, *member, head)) return 0;
  ChunkSource source(file, prefix);
  const uint32_t total = fileLength + static_cast<uint32_t>(prefix.size());
  if (!SendChunks(ctx, handle, member->unit, source, total, member->message, image)) return 0;
  file.Close();
  return StatusPoll(ctx, handle, member->poll) ? 1 : 0;
}

int MsVerify(OperationContext& ctx, Medium medium, DataKind kind) {
  const MsMember* member = FindMember(medium, kind);
  if (member == nullptr) return 0;
  PostProgress(ctx, member->message, 0);
  SetBarColour(ctx, kVerifyColour);
  ScsiTransport* handle = HandleOrSay(ctx);
  if (handle == nullptr || ctx.filePath.empty()) return 0;
  InputFile file;
  const uint32_t fileLength = OpenData(ctx, file, member->verifyOpenText, 0, nullptr);
  if (fileLength == 0) return 0;

  std::vector<uint8_t> prefix;
  std::vector<uint8_t> head;
  const auto verify = static_cast<uint32_t>(HeadCommand::kVerify);
  if (kind == DataKind::kImage) {
    const uint32_t number = ctx.head.imageNumberEnabled ? PageImageNumber(ctx) : 0;
    if (number == 0 && ctx.state.familyMode == 1) prefix = SystemImagePrefix(ctx, fileLength);
    head = TableHead(ctx, HeadCommand::kVerify, number, 0);
  } else if (medium == Medium::kNor) {
    head = ToVector(EncodeRawHead(RawHead{verify, fileLength, ScanHex(ctx.head.address).value_or(0)}));
  } else {
    head = ToVector(EncodeRawHead(RawHead{verify, 0, 0}));
  }
  if (!SendHead(handle, *member, head)) return 0;
  ChunkSource source(file, prefix);
  const uint32_t total = fileLength + static_cast<uint32_t>(prefix.size());
  return CompareChunks(ctx, handle, member->unit, source, total, member->message) ? 1 : 0;
}

int MsReadRawSpi(OperationContext& ctx, uint32_t length) {
  const uint32_t message = ProgressMessage::kSpiRaw;
  PostProgress(ctx, message, 0);
  SetBarColour(ctx, kVerifyColour);
  ScsiTransport* handle = HandleOrSay(ctx);
  if (handle == nullptr) return 0;
  // The read-back replaces an earlier file of that name only when complete.
  StagedFile target;
  if (!target.Create(ctx.filePath)) {
    ShowMessage(ctx, target.Refusal().empty() ? std::string(texts::kMsOpen) : target.Refusal());
    return 0;
  }
  const auto head = EncodeRawHead(RawHead{static_cast<uint32_t>(HeadCommand::kVerify), 0, 0});
  if (!msl::CMD_WriterProcess(handle, kMsUnitDefault, FlashMethod::kSpiRaw, head.data(), kRawHeadSize)) {
    return 0;
  }
  const bool read = ForEachChunk(
      ctx, length, message,
      [&](uint8_t* chunk, uint32_t n) {
        return msl::CMD_GetFileData(handle, kMsUnitDefault, chunk, n) && target.Write(chunk, n);
      },
      [](uint8_t*, uint32_t) { return true; });
  return read && target.Commit() ? 1 : 0;
}

int MsDownloadSdram(OperationContext& ctx) {
  SetBarColour(ctx, kRawBurnColour);
  if (Download(ctx, texts::kMsSdramOpen, 0, nullptr, kMsSdramAddress, ProgressMessage::kSdram) == 0) return 0;
  // A started program answers no more.
  if (ctx.head.mode == 1) return 1;
  ClockOf(ctx).SleepMs(kSettleMs);
  std::array<uint8_t, msl::kStatusLength> status{};
  return msl::CMD_GetLastStatus(ctx.state.connection.deviceHandle(), StatusSelector::kLastStatus,
                                status.data()) &&
                 status[0] == 0
             ? 1
             : 0;
}

int MsDownloadLoader(OperationContext& ctx, uint32_t skip) {
  return Download(ctx, texts::kMsLoaderOpen, kLoaderHeader + skip, texts::kLoaderTooShort, kMsLoaderAddress,
                  ProgressMessage::kSdram);
}

int MsModifyImage(OperationContext& ctx, Medium medium) {
  const MsMember* member = FindTableMember(medium);
  if (member == nullptr) return 0;
  ScsiTransport* handle = HandleOrSay(ctx);
  if (handle == nullptr) return 0;
  if (!SendHead(handle, *member,
                TableHead(ctx, HeadCommand::kModify, PageImageNumber(ctx), ctx.head.imageType))) {
    ShowMessage(ctx, texts::kModifyError);
    return 0;
  }
  if (medium != Medium::kSpi && !StatusPoll(ctx, handle, kShortPoll)) return 0;
  ShowMessage(ctx, texts::kModifyOk);
  return 1;
}

int MsErase(OperationContext& ctx, Medium medium, EraseChoice choice) {
  const MsMember* member = FindTableMember(medium);
  if (member == nullptr) return 0;
  ScsiTransport* handle = HandleOrSay(ctx);
  if (handle == nullptr) return 0;
  const uint32_t message = EraseMessage(medium);
  if (medium == Medium::kSpi && choice != EraseChoice::kImage)
    return EraseSpiWholeFlash(ctx, handle, *member);
  if (medium == Medium::kNand && choice == EraseChoice::kAll)
    return EraseNandWholeFlash(ctx, handle, *member);

  uint32_t number = PageImageNumber(ctx);
  if (choice == EraseChoice::kAll) number = kEraseAllImages;
  if (choice == EraseChoice::kSystemArea) {
    if (medium != Medium::kNand) return 0;
    number = kEraseSystemArea;
  }
  ImageHeadFields fields;
  fields.command = HeadCommand::kErase;
  fields.number = number;
  // The card's erase head has the long layout on every chip.
  const std::vector<uint8_t> head = medium == Medium::kSd ? ToVector(EncodeLongImageHead(fields))
                                                          : EncodeImageHead(fields, ctx.state.familyMode);
  PostProgress(ctx, message, 0);
  if (!SendHead(handle, *member, head)) return 0;
  PostProgress(ctx, message, 100);
  if (medium == Medium::kSpi || choice == EraseChoice::kSystemArea) return 1;
  return StatusPoll(ctx, handle, kShortPoll) ? 1 : 0;
}

int MsSetReservedArea(OperationContext& ctx, Medium medium) {
  if (medium != Medium::kNand && medium != Medium::kSd) return 0;
  ScsiTransport* handle = HandleOrSay(ctx);
  if (handle == nullptr) return 0;
  const auto size = static_cast<uint32_t>(AsciiToInt(ctx.head.reservedSize));
  const auto sizeBlock = EncodeReservedSize(size);
  uint32_t transferred = 0;
  if (medium == Medium::kSd && ctx.state.familyMode == 1) {
    const auto flag = EncodeFormatFlag(ctx.head.sdFormat);
    if (!msl::CMD_SetParameter(handle, ParameterSelector::kSdFormatFlag, flag.data(),
                               static_cast<uint32_t>(flag.size()), &transferred)) {
      DebugLine(texts::kSdFormatError);
      return 0;
    }
  }
  const uint8_t selector =
      medium == Medium::kNand ? ParameterSelector::kNandReservedSize : ParameterSelector::kSdReservedSize;
  if (!msl::CMD_SetParameter(handle, selector, sizeBlock.data(), static_cast<uint32_t>(sizeBlock.size()),
                             &transferred)) {
    return 0;
  }
  if (!StatusPoll(ctx, handle, kShortPoll)) return 0;
  PostProgress(ctx, medium == Medium::kNand ? ProgressMessage::kNandOption : ProgressMessage::kSdOption, 100);
  return 1;
}

}  // namespace zorbel
