#include "protocol/vcom_operations.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "protocol/operation_support.h"
#include "protocol/protocol_texts.h"
#include "protocol/records.h"
#include "protocol/text_numbers.h"

namespace zorbel {
namespace {

constexpr uint32_t kQueueSize = 2048;
constexpr uint32_t kBaudRate = 9600;
constexpr uint32_t kChunk = static_cast<uint32_t>(kVcomChunkSize);
// A NAND ROM file's own header, which stays on the PC.
constexpr uint32_t kNandRomHeaderSize = 12;

// How the burn and verify members differ.
struct VcomMember {
  Medium medium;
  DataKind kind;
  uint8_t method;
  uint32_t message;
  const char* burnOpenText;
  const char* verifyOpenText;
  const char* headShortText;
  uint32_t skip;  // leading file bytes that are never sent
};

constexpr VcomMember kMembers[] = {
    {Medium::kNor, DataKind::kRaw, FlashMethod::kNorRaw, ProgressMessage::kNorRaw, "File Open error2\n",
     "File Open error3\n", texts::kRawNorHeadShort, 0},
    {Medium::kNand, DataKind::kRaw, FlashMethod::kNandRaw, ProgressMessage::kNandRaw, "File Open error4\n",
     "File Open error6\n", texts::kRawNandHeadShort, kNandRomHeaderSize},
    {Medium::kSpi, DataKind::kRaw, FlashMethod::kSpiRaw, ProgressMessage::kSpiRaw, "File Open error9\n",
     "File Open error11\n", texts::kSpiHeadShort, 0},
    {Medium::kNor, DataKind::kImage, FlashMethod::kNorImage, ProgressMessage::kNorImage,
     "File Open error14\n", "File Open error15\n", texts::kNorHeadShort, 0},
    {Medium::kNand, DataKind::kImage, FlashMethod::kNandImage, ProgressMessage::kNandImage,
     "File Open error16\n", "File Open error17\n", texts::kNandHeadShort, 0},
    {Medium::kSpi, DataKind::kImage, FlashMethod::kSpiImage, ProgressMessage::kSpiImage, "File Open error7\n",
     "File Open error8\n", texts::kSpiHeadShort, 0},
};

const VcomMember* FindMember(Medium medium, DataKind kind) {
  for (const auto& m : kMembers) {
    if (m.medium == medium && m.kind == kind) return &m;
  }
  return nullptr;
}

struct EraseMember {
  Medium medium;
  uint8_t method;
  uint32_t message;
};

constexpr EraseMember kEraseMembers[] = {
    {Medium::kNor, FlashMethod::kNorImage, ProgressMessage::kNorErase},
    {Medium::kNand, FlashMethod::kNandImage, ProgressMessage::kNandErase},
    {Medium::kSpi, FlashMethod::kSpiImage, ProgressMessage::kSpiErase},
};

const EraseMember* FindEraseMember(Medium medium) {
  for (const auto& m : kEraseMembers) {
    if (m.medium == medium) return &m;
  }
  return nullptr;
}

// The page's port for one operation: opened and configured here, closed on
// every exit (closing again after the page's abort closed it is harmless).
class VcomSession {
 public:
  explicit VcomSession(OperationContext& ctx) : ctx_(ctx) {}
  ~VcomSession() { Close(); }
  VcomSession(const VcomSession&) = delete;
  VcomSession& operator=(const VcomSession&) = delete;

  bool Open(uint8_t method) {
    if (ctx_.portName.empty() || ctx_.port == nullptr) return false;
    if (ctx_.port->Open(ctx_.portName, kQueueSize, kQueueSize) != win_error::kSuccess) {
      const std::string format = texts::kFailedToOpenFormat;
      const size_t at = format.find("%s");
      ShowMessage(ctx_, format.substr(0, at) + ctx_.portName + format.substr(at + 2));
      return false;
    }
    open_ = true;
    ctx_.port->Setup(kBaudRate, 8, 0, 0);
    ctx_.port->SetupReadTimeouts(1, ctx_.replyWaitMs);
    // The board answers or not; the transfer shows what went wrong.
    ctx_.port->ChooseMethod(method, ctx_.prompt);
    return true;
  }

  void Close() {
    if (open_) ctx_.port->Close();
    open_ = false;
  }

  bool Write(const void* data, uint32_t length) {
    uint32_t written = 0;
    const uint32_t error = ctx_.port->Write(data, length, &written, nullptr, kInfinite);
    return error == win_error::kSuccess && written == length;
  }

  // The bytes that arrived within the reply wait.
  uint32_t Read(void* data, uint32_t length) {
    uint32_t got = 0;
    ctx_.port->Read(data, length, &got, nullptr, ctx_.replyWaitMs);
    return got;
  }

  bool ReadWord(uint32_t* word) {
    std::array<uint8_t, kReplySize> bytes{};
    if (Read(bytes.data(), kReplySize) != kReplySize) return false;
    *word = DecodeU32(bytes);
    return true;
  }

  bool WriteWord(uint32_t word) {
    const auto bytes = EncodeU32(word);
    return Write(bytes.data(), kReplySize);
  }

 private:
  OperationContext& ctx_;
  bool open_ = false;
};

enum class Direction { kSend, kReceive };

struct TransferSpec {
  uint32_t message = 0;
  const char* openText = nullptr;
  const char* headShortText = nullptr;  // null: the failure shows nothing
  const char* headAckText = nullptr;
  uint32_t skip = 0;
  Direction direction = Direction::kSend;
  std::string copyPath;  // receive: keeps every byte the board sent
  // Builds the head for the data length; false refuses (having said why).
  std::function<bool(uint32_t length, std::vector<uint8_t>& head)> buildHead;
};

// The page's Abort closes the port before it sets the event: a port closed
// under a running operation is an abort already.
bool Interrupted(const OperationContext& ctx) {
  return AbortRequested(ctx) || (ctx.port != nullptr && !ctx.port->IsOpen());
}

// Every failure closes the port before it speaks, so the board is let go
// while the message waits; a failure the user asked for (an abort) says
// nothing.
void Fail(const OperationContext& ctx, VcomSession& port, const char* text) {
  const bool say = text != nullptr && !Interrupted(ctx);
  port.Close();
  if (say) ShowMessage(ctx, text);
}

uint32_t Percent(uint64_t done, uint64_t length) { return static_cast<uint32_t>(done * 100 / length); }

bool SendChunks(OperationContext& ctx, VcomSession& port, InputFile& file, const TransferSpec& spec,
                uint32_t length) {
  std::vector<uint8_t> buffer(kChunk);
  uint64_t sent = 0;
  while (sent < length) {
    const uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(kChunk, length - sent));
    if (file.Read(buffer.data(), chunk) != chunk) {
      Fail(ctx, port, texts::kFileReadError);
      return false;
    }
    const bool written = port.Write(buffer.data(), chunk);
    if (Interrupted(ctx)) return false;
    // A short write would leave the board a chunk short while the tool
    // reported success.
    if (!written) {
      Fail(ctx, port, texts::kDataWriteShort);
      return false;
    }
    sent += chunk;
    const uint32_t percent = Percent(sent, length);
    uint32_t ack = 0;
    if (!port.ReadWord(&ack) || ack != chunk) {
      Fail(ctx, port, texts::kAckError);
      return false;
    }
    if (Interrupted(ctx)) return false;
    if (chunk == kChunk && percent % 5 == 0) PostProgress(ctx, spec.message, percent);
  }
  if (Interrupted(ctx)) return false;
  const uint32_t percent = std::min<uint32_t>(100, Percent(sent, length));
  if (percent % 5 == 0) PostProgress(ctx, spec.message, percent);
  return true;
}

bool ReceiveChunks(OperationContext& ctx, VcomSession& port, InputFile& file, const TransferSpec& spec,
                   uint32_t length, StagedFile* copy) {
  std::vector<uint8_t> expected(kChunk);
  std::vector<uint8_t> received(kChunk);
  uint64_t compared = 0;
  while (compared < length) {
    const uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(kChunk, length - compared));
    if (file.Read(expected.data(), chunk) != chunk) {
      Fail(ctx, port, texts::kFileReadError);
      return false;
    }
    const uint32_t got = port.Read(received.data(), chunk);
    if (copy != nullptr) copy->Write(received.data(), got);
    if (Interrupted(ctx)) return false;
    if (got < chunk) return false;
    compared += chunk;
    const uint32_t percent = std::min<uint32_t>(100, Percent(compared, length));
    const bool same = std::memcmp(expected.data(), received.data(), chunk) == 0;
    if (!port.WriteWord(same ? chunk : 0) || !same) return false;
    if (Interrupted(ctx)) return false;
    if (percent % 5 == 0) PostProgress(ctx, spec.message, percent);
  }
  return true;
}

// The one VCOM transfer: file, head, acknowledgement, then the data in
// 4096-byte chunks in the transfer's direction. The port is already open.
bool RunTransfer(OperationContext& ctx, VcomSession& port, const TransferSpec& spec) {
  InputFile file;
  if (!file.Open(ctx.filePath)) {
    Fail(ctx, port, spec.openText);
    return false;
  }
  if (file.Length() < spec.skip) {
    Fail(ctx, port, texts::kNandRomTooShort);
    return false;
  }
  const uint64_t dataLength = file.Length() - spec.skip;
  if (dataLength == 0) {
    Fail(ctx, port, texts::kFileLengthZero);
    return false;
  }
  if (dataLength > UINT32_MAX) {
    Fail(ctx, port, texts::kFileTooLarge);
    return false;
  }
  const auto length = static_cast<uint32_t>(dataLength);
  if (!file.SeekTo(spec.skip)) {
    Fail(ctx, port, texts::kFileReadError);
    return false;
  }
  std::vector<uint8_t> head;
  if (!spec.buildHead(length, head)) return false;
  if (!port.Write(head.data(), static_cast<uint32_t>(head.size()))) {
    Fail(ctx, port, spec.headShortText);
    return false;
  }
  uint32_t ack = 0;
  if (!port.ReadWord(&ack)) {
    Fail(ctx, port, spec.headAckText);
    return false;
  }
  if (spec.direction == Direction::kSend) return SendChunks(ctx, port, file, spec, length);

  StagedFile copy;
  if (!spec.copyPath.empty() && !copy.Create(spec.copyPath)) {
    Fail(ctx, port, copy.Refusal().empty() ? texts::kCopyFileOpen : copy.Refusal().c_str());
    return false;
  }
  const bool ok = ReceiveChunks(ctx, port, file, spec, length, spec.copyPath.empty() ? nullptr : &copy);
  // The copy shows what the board sent, also when it differed.
  if (!spec.copyPath.empty()) copy.Commit();
  return ok;
}

// Status words until 100: the burn phase of a burn, and an erase.
int StatusLoop(OperationContext& ctx, VcomSession& port, uint32_t message, StatusScope scope,
               const char* errorText) {
  for (;;) {
    if (Interrupted(ctx)) return 0;
    uint32_t word = 0;
    if (!port.ReadWord(&word)) {
      Fail(ctx, port, texts::kAckError);
      return 0;
    }
    const BoardStatus status = DecodeBoardStatus(word, scope);
    if (status.failed) {
      Fail(ctx, port, errorText);
      return 0;
    }
    PostProgress(ctx, message, status.percent);
    if (status.done) return 1;
  }
}

KeptHead& KeptOf(OperationContext& ctx, KeptHead& fallback) {
  return ctx.keptHead != nullptr ? *ctx.keptHead : fallback;
}

int Burn(OperationContext& ctx, const VcomMember& member, StatusScope scope,
         std::function<void(uint32_t length, KeptHead& kept, std::vector<uint8_t>& head)> fill) {
  VcomSession port(ctx);
  if (!port.Open(member.method)) return 0;
  KeptHead scratch;
  KeptHead& kept = KeptOf(ctx, scratch);
  TransferSpec spec;
  spec.message = member.message;
  spec.openText = member.burnOpenText;
  spec.headShortText = member.headShortText;
  spec.headAckText = texts::kAckError;
  spec.skip = member.skip;
  spec.buildHead = [&](uint32_t length, std::vector<uint8_t>& head) {
    fill(length, kept, head);
    return true;
  };
  if (!RunTransfer(ctx, port, spec)) return 0;
  PostProgress(ctx, member.message, 0);
  SetBarColour(ctx, kBurnPhaseColour);
  return StatusLoop(ctx, port, member.message, scope, texts::kBurnError);
}

std::vector<uint8_t> ToVector(std::span<const uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }

}  // namespace

int VcomDownloadSdram(OperationContext& ctx) {
  VcomSession port(ctx);
  if (!port.Open(FlashMethod::kSdram)) return 0;
  TransferSpec spec;
  spec.message = ProgressMessage::kSdram;
  spec.openText = texts::kSdramOpen;
  spec.headShortText = texts::kSdramHeadShort;
  spec.headAckText = texts::kSdramHeadAck;
  spec.buildHead = [&ctx](uint32_t length, std::vector<uint8_t>& head) {
    uint32_t address = ScanHex(ctx.head.address).value_or(0);
    if (ctx.head.mode == 1) address |= kSdramRunFlag;
    head = ToVector(EncodeRawHead(RawHead{kSdramVcomCommand, length, address}));
    return true;
  };
  return RunTransfer(ctx, port, spec) ? 1 : 0;
}

int VcomBurnImage(OperationContext& ctx, Medium medium) {
  const VcomMember* member = FindMember(medium, DataKind::kImage);
  if (member == nullptr) return 0;
  const HeadFields& page = ctx.head;
  return Burn(ctx, *member, StatusScope::kImageBurn,
              [&page, medium](uint32_t length, KeptHead& kept, std::vector<uint8_t>& head) {
                if (medium == Medium::kNor) {
                  // The NOR page keeps the previous burn's value where a text does not parse.
                  kept.number = ScanDecimal(page.imageNumber).value_or(kept.number);
                  kept.executeAddress = ScanHex(page.executeAddress).value_or(kept.executeAddress);
                  kept.start = ScanHex(page.start).value_or(kept.start);
                } else {
                  kept = KeptHead{};
                  if (page.imageType != static_cast<uint32_t>(ImageKind::kSystemImage)) {
                    kept.number = ScanDecimal(page.imageNumber).value_or(0);
                    kept.executeAddress = ScanHex(page.executeAddress).value_or(0);
                    kept.start = ScanHex(page.start).value_or(0);
                  }
                }
                kept.command = static_cast<uint32_t>(HeadCommand::kBurn);
                kept.length = length;
                SetKeptName(kept, page.imageName);
                kept.type = page.imageType;
                head = ToVector(EncodeLongImageHead(KeptImageFields(kept)));
              });
}

int VcomBurnRaw(OperationContext& ctx, Medium medium) {
  const VcomMember* member = FindMember(medium, DataKind::kRaw);
  if (member == nullptr) return 0;
  SetBarColour(ctx, kRawBurnColour);
  const HeadFields& page = ctx.head;
  return Burn(ctx, *member, StatusScope::kRawOrErase,
              [&page, medium](uint32_t length, KeptHead& kept, std::vector<uint8_t>& head) {
                kept = KeptHead{};
                kept.command = static_cast<uint32_t>(HeadCommand::kBurn);
                kept.length = length;
                if (medium == Medium::kNor) kept.number = ScanHex(page.address).value_or(0);
                if (medium == Medium::kNand) kept.number = page.imageCount;
                head = ToVector(KeptRawHeadBytes(kept));
              });
}

int VcomVerify(OperationContext& ctx, Medium medium, DataKind kind) {
  const VcomMember* member = FindMember(medium, kind);
  if (member == nullptr) return 0;
  SetBarColour(ctx, kVerifyColour);
  PostProgress(ctx, member->message, 0);
  VcomSession port(ctx);
  if (!port.Open(member->method)) return 0;
  KeptHead scratch;
  KeptHead& kept = KeptOf(ctx, scratch);
  TransferSpec spec;
  spec.message = member->message;
  spec.openText = member->verifyOpenText;
  spec.headShortText = member->headShortText;
  spec.headAckText = texts::kAckError;
  spec.skip = member->skip;
  spec.direction = Direction::kReceive;
  if (medium == Medium::kNand && kind == DataKind::kImage) {
    spec.copyPath = ctx.verifyCopyPath.empty() ? VerifyCopyPath(ctx.filePath) : ctx.verifyCopyPath;
  }
  spec.buildHead = [&](uint32_t length, std::vector<uint8_t>& head) {
    // The board returns the kept head's length; a file of another length
    // could only be judged on a part of it.
    if (kept.length != length) {
      Fail(ctx, port, texts::kVerifyLengthDiffers);
      return false;
    }
    kept.command = static_cast<uint32_t>(HeadCommand::kVerify);
    if (kind == DataKind::kRaw) {
      head = ToVector(KeptRawHeadBytes(kept));
      return true;
    }
    if (medium != Medium::kNor) kept.number = ScanDecimal(ctx.head.imageNumber).value_or(kept.number);
    head = ToVector(EncodeLongImageHead(KeptImageFields(kept)));
    return true;
  };
  return RunTransfer(ctx, port, spec) ? 1 : 0;
}

int VcomErase(OperationContext& ctx, Medium medium, EraseChoice choice) {
  const EraseMember* member = FindEraseMember(medium);
  if (member == nullptr) return 0;
  if (choice == EraseChoice::kSystemArea && medium != Medium::kNand) return 0;
  VcomSession port(ctx);
  if (!port.Open(member->method)) return 0;
  ImageHeadFields fields;
  fields.command = HeadCommand::kErase;
  fields.number = choice == EraseChoice::kImage ? ScanDecimal(ctx.head.imageNumber).value_or(0)
                  : choice == EraseChoice::kAll ? kEraseAllImages
                                                : kEraseSystemArea;
  const auto head = EncodeLongImageHead(fields);
  if (!port.Write(head.data(), static_cast<uint32_t>(head.size()))) {
    if (medium == Medium::kNor) Fail(ctx, port, texts::kNorEraseHeadShort);
    return 0;
  }
  return StatusLoop(ctx, port, member->message, StatusScope::kRawOrErase, texts::kEraseError);
}

int VcomModifyImage(OperationContext& ctx, Medium medium) {
  const EraseMember* member = FindEraseMember(medium);
  if (member == nullptr) return 0;
  VcomSession port(ctx);
  if (!port.Open(member->method)) return 0;
  ImageHeadFields fields;
  fields.command = HeadCommand::kModify;
  fields.number = ScanDecimal(ctx.head.imageNumber).value_or(0);
  fields.type = ctx.head.imageType;
  const auto head = EncodeLongImageHead(fields);
  if (!port.Write(head.data(), static_cast<uint32_t>(head.size()))) {
    if (medium == Medium::kNor) Fail(ctx, port, texts::kNorModifyHeadShort);
    return 0;
  }
  uint32_t word = 0;
  if (!port.ReadWord(&word)) {
    Fail(ctx, port, texts::kAckError);
    return 0;
  }
  if (DecodeBoardStatus(word, StatusScope::kRawOrErase).failed) {
    Fail(ctx, port, texts::kModifyError);
    return 0;
  }
  ShowMessage(ctx, texts::kModifyOk);
  return 1;
}

}  // namespace zorbel
