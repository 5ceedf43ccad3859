// The board's disk: boot-stage commands (0x06 + letter), the run command and
// the loader's vendor commands 'a' to 'f'. A command the board does not
// accept fails, and the reason goes to the board's error log.
#include <algorithm>
#include <cstring>

#include "board_bytes.h"
#include "board_impl.h"
#include "standin_files.h"

namespace zorbel::sim {
namespace {

constexpr uint8_t kBootPrefix = 0x06;
constexpr uint8_t kRun = 0x60;
constexpr uint32_t kBootReplyLength = 3583;
constexpr uint32_t kMaxChunk = 65536;
// A write's first bytes wait until the write can be judged: a System
// Image's boot header, with its register list's length, lies within them.
constexpr uint32_t kHeldBytes = 32;
constexpr uint32_t kSecondStageAddress = 0x00E00000;
constexpr uint32_t kBootHeaderMagic = 0x514B5AA5;
constexpr uint32_t kBootHeaderMagic2 = 0xA55A4B51;
constexpr uint32_t kRegisterListMagic = 0xAA55AA55;

enum : uint8_t {
  kWriterProcess = 'a',
  kReadTable = 'b',
  kWriteFile = 'c',
  kGetFileData = 'd',
  kGetLastStatus = 'e',
  kSetParameter = 'f',
};

Medium MediumOfMethod(uint8_t method) {
  switch (method) {
    case 0:
      return Medium::kSdram;
    case 2:
      return Medium::kNor;
    case 3:
      return Medium::kNand;
    case 5:
    case 6:
      return Medium::kSpi;
    case 7:
      return Medium::kSd;
    default:
      return Medium::kAny;
  }
}

Medium MediumOfTableCode(uint8_t code) {
  switch (code) {
    case 1:
      return Medium::kNand;
    case 2:
      return Medium::kSpi;
    case 3:
      return Medium::kSd;
    default:
      return Medium::kAny;
  }
}

Operation OperationOfHead(uint8_t method, uint32_t command) {
  if (method == 0) return Operation::kDownload;
  switch (command) {
    case 0:
      return Operation::kBurn;
    case 1:
      return Operation::kModify;
    case 2:
      return Operation::kErase;
    default:
      return Operation::kVerify;
  }
}

// Length of the boot header a family System Image of `total` bytes starts
// with; 0 when it does not start with one. `s` holds its first
// min(total, kHeldBytes) bytes.
uint32_t BootHeaderLength(const uint8_t* s, uint32_t total, BoardKind kind) {
  if (total < 16 || LoadLe32(s) != kBootHeaderMagic) return 0;
  if (kind == BoardKind::kQuen) {
    return total >= 32 && LoadLe32(s + 12) == kBootHeaderMagic2 ? 32 : 0;
  }
  if (total >= 24 && LoadLe32(s + 16) == kRegisterListMagic) {
    uint64_t n = LoadLe32(s + 20);
    uint64_t length = 24 + 8 * n;
    length = (length + 15) / 16 * 16;
    return length <= total ? static_cast<uint32_t>(length) : 0;
  }
  return 16;
}

class DiskSide {
 public:
  DiskSide(VirtualBoard::Impl& b, const ScsiCommand& c)
      : b_(b), c_(c), cdb_(c.cdb.data()), data_(static_cast<uint8_t*>(c.data)) {}

  bool Run() {
    if (c_.dataLength > 0 && c_.direction != ScsiDirection::kNone && !data_)
      return Refuse("data phase without a buffer");
    if (!b_.IsDisk()) return Refuse("this board has no disk");
    uint8_t op = cdb_[0];
    if (op == kBootPrefix) return Boot();
    if (b_.stage == Stage::kBoot) return Refuse("loader command while the boot code runs");
    if (b_.stage == Stage::kIntermediate && op != kWriterProcess && op != kWriteFile) {
      return Refuse("the first loader stage only takes the second stage");
    }
    switch (op) {
      case kWriterProcess:
        return WriterProcess();
      case kWriteFile:
        return WriteFile();
      case kGetFileData:
        return GetFileData();
      case kGetLastStatus:
        return GetLastStatus();
      case kSetParameter:
        return SetParameter();
      case kReadTable:
        return ReadTable();
      default:
        return Refuse("unknown command " + std::to_string(op));
    }
  }

 private:
  bool Refuse(const std::string& why) {
    b_.LogLocked("disk: " + why);
    b_.lastStatus = 1;  // the last command did not succeed
    return false;
  }
  bool Expect(ScsiDirection direction, uint32_t length, const char* what) {
    if (c_.direction != direction || c_.dataLength != length) {
      return Refuse(std::string(what) + ": data phase disagrees with the command block (" +
                    std::to_string(c_.dataLength) + " bytes)");
    }
    return true;
  }
  bool Injected(Operation operation, Medium medium) {
    if (b_.FireLocked(FaultKind::kFailCommand, operation, medium)) {
      b_.LogLocked("fault: command fails");
      return true;
    }
    return false;
  }
  void Reply(const void* bytes, size_t n) {
    std::memset(data_, 0, c_.dataLength);
    std::memcpy(data_, bytes, std::min<size_t>(n, c_.dataLength));
  }
  void ReplyU32(uint32_t v) {
    uint8_t b[4];
    StoreLe32(b, v);
    Reply(b, 4);
  }

  // ---------------------------------------------------------------- boot stage
  bool Boot() {
    bool run = cdb_[1] == kRun;
    if (Injected(Operation::kBootCommand, Medium::kSdram)) return false;
    if (b_.stage != Stage::kBoot) return Refuse("boot command after the boot stage");
    if (run) return RunLoaded();
    uint8_t letter = cdb_[1];
    uint32_t value = LoadLe32(cdb_ + 2);
    switch (letter) {
      case 'Q':
      case 'R':
      case 'S':
      case 'U': {
        if (!Expect(ScsiDirection::kFromDevice, kBootReplyLength, "boot command")) return false;
        std::vector<uint8_t> reply(kBootReplyLength, 0);
        static constexpr char kIdent[] = "ZORBEL-VBOARD BOOT";
        std::memcpy(reply.data(), kIdent, sizeof kIdent - 1);
        Reply(reply.data(), reply.size());
        if (letter == 'R' || letter == 'S') b_.registers.push_back({static_cast<char>(letter), value});
        if (letter == 'U') b_.loadAddress = value;
        return true;
      }
      case 'r':
        return WriteFirstStage();
      default:
        return Refuse("unknown boot command " + std::to_string(letter));
    }
  }

  bool WriteFirstStage() {
    uint32_t announced = cdb_[2] | (cdb_[3] << 8);
    if (announced == 0) announced = kMaxChunk;  // 16 bits cannot say 65 536
    if (cdb_[4] != 0 || cdb_[5] != 0) return Refuse("'r' with bytes 4 and 5 set");
    if (!Expect(ScsiDirection::kToDevice, announced, "'r'")) return false;
    if (!b_.loadAddress) return Refuse("'r' before the load address was set");
    std::vector<uint8_t> payload(data_, data_ + c_.dataLength);
    b_.firstStageOk = false;
    if (b_.options.checkLoaderTag) {
      // The stage is linked for one address: the one 'U' must have named.
      std::string why = CheckStage(payload, kFirstStageTag, announced, *b_.loadAddress, b_.options.kind);
      if (!why.empty()) return Refuse("'r': " + why);
    }
    b_.lastLoader = payload;
    b_.firstStageOk = true;
    return true;
  }

  bool RunLoaded() {
    uint32_t expected = b_.IsFamily() ? 0 : 8;
    if (!Expect(expected ? ScsiDirection::kFromDevice : ScsiDirection::kNone, expected, "run")) return false;
    if (expected) std::memset(data_, 0, expected);
    if (!b_.firstStageOk) return Refuse("run without a loaded first stage");
    b_.firstStageOk = false;
    b_.ScheduleStageLocked(b_.IsFamily() ? Stage::kLoader : Stage::kIntermediate);
    return true;
  }

  // ---------------------------------------------------------------- loader stage
  bool WriterProcess() {
    uint8_t unit = cdb_[1];
    uint8_t method = cdb_[6];
    Medium medium = MediumOfMethod(method);
    if (medium == Medium::kAny) return Refuse("no flash method " + std::to_string(method));
    if (c_.direction != ScsiDirection::kToDevice) return Refuse("head without data to the board");
    uint32_t command = c_.dataLength >= 4 ? LoadLe32(data_) : 0xFFFFFFFF;
    Operation operation = OperationOfHead(method, command);
    if (Injected(operation, medium)) return false;
    if (unit != (medium == Medium::kSd ? 3 : 0)) return Refuse("head with unit " + std::to_string(unit));
    if (b_.stage == Stage::kIntermediate && method != 0) return Refuse("only a download is taken now");
    b_.transfer = DiskTransfer{};
    b_.lastHead.assign(data_, data_ + c_.dataLength);
    b_.lastMethod = method;
    if (method == 0 || method == 2 || method == 6) return RawHead(method, medium, operation);
    return ImageHead(method, medium, command);
  }

  bool RawHead(uint8_t method, Medium medium, Operation operation) {
    if (c_.dataLength != 12) return Refuse("raw head of " + std::to_string(c_.dataLength) + " bytes");
    uint32_t command = LoadLe32(data_);
    uint32_t length = LoadLe32(data_ + 4);
    uint32_t address = LoadLe32(data_ + 8);
    DiskTransfer& t = b_.transfer;
    t.operation = operation;
    t.medium = medium;
    t.method = method;
    t.address = address;
    if (method == 0) {
      if (command != 1) return Refuse("download head with command " + std::to_string(command));
      if (b_.stage == Stage::kIntermediate && address != kSecondStageAddress) {
        return Refuse("second loader stage for the wrong address");
      }
      if (length == 0) return Refuse("download of nothing");
      t.kind = DiskTransfer::Kind::kWrite;
      t.expected = length;
      return true;
    }
    if (method == 6 && address != 0) return Refuse("raw SPI data starts at 0");
    if (command == 0) {
      if (length == 0) return Refuse("raw write of nothing");
      t.kind = DiskTransfer::Kind::kWrite;
      t.expected = length;
      return true;
    }
    if (command == 3) {
      if (method == 6 && length != 0) return Refuse("raw SPI verify head with a length");
      const MediumState* m = b_.model.Get(medium);
      t.kind = DiskTransfer::Kind::kRead;
      t.readBase = address;
      t.readLimit = method == 6 ? m->store.size() : length;
      if (t.readBase > m->store.size() || t.readLimit > m->store.size() - t.readBase) {
        return Refuse("raw verify past the end of the flash");
      }
      return true;
    }
    return Refuse("raw head with command " + std::to_string(command));
  }

  bool ImageHead(uint8_t method, Medium medium, uint32_t command) {
    bool family = b_.IsFamily();
    uint32_t n = c_.dataLength;
    // The older chip takes 44-byte heads; its whole-flash erase still comes in 60 bytes.
    bool shortLayout = !family;
    if (family ? n != 60 : !(n == 44 || (n == 60 && command == 2))) {
      return Refuse("image head of " + std::to_string(n) + " bytes");
    }
    size_t nameWidth = shortLayout ? 16 : 32;
    const uint8_t* tail = data_ + 12 + nameWidth;
    ImageEntry e;
    uint32_t length = LoadLe32(data_ + 4);
    e.number = LoadLe32(data_ + 8);
    e.name = FieldText(data_ + 12, nameWidth);
    e.type = LoadLe32(tail);
    e.executeAddress = LoadLe32(tail + 4);
    e.start = LoadLe32(tail + 8);
    MediumState* m = b_.model.Get(medium);
    if (!m) return Refuse("no card in SD port " + std::to_string(b_.model.sdPort));
    DiskTransfer& t = b_.transfer;
    t.medium = medium;
    t.method = method;
    t.operation = OperationOfHead(method, command);
    switch (command) {
      case 0:
        if (length == 0) return Refuse("image burn of nothing");
        t.kind = DiskTransfer::Kind::kWrite;
        t.expected = length;
        t.entry = e;
        return true;
      case 1:
        Finish(b_.model.ModifyImage(medium, e.number, e.type));
        return true;
      case 2: {
        std::string why;
        if (medium == Medium::kNand && e.number == kEraseAllImages) {
          why = b_.model.EraseNandBlocks(e.start, e.executeAddress);
        } else {
          why = b_.model.EraseImage(medium, e.number);
          if (why.empty() && medium == Medium::kSpi && e.number == kEraseAllImages) {
            b_.spiEraseBusyLeft = b_.options.spiEraseBusyPolls;
          }
        }
        Finish(why);
        return true;
      }
      case 3: {
        if (length != 0) return Refuse("image verify head with a length");
        auto found = b_.model.Find(medium, e.number);
        if (!found) return Refuse("verify of image " + std::to_string(e.number) + ", which is not there");
        t.kind = DiskTransfer::Kind::kRead;
        t.readBase = b_.model.ImageOffset(medium, *found);
        t.readLimit = found->length;
        return true;
      }
      default:
        return Refuse("image head with command " + std::to_string(command));
    }
  }

  // Records the outcome for CMD_GetLastStatus and keeps it.
  void Finish(const std::string& why) {
    if (!why.empty()) b_.LogLocked("refused: " + why);
    b_.lastStatus = why.empty() ? 0 : 1;
    b_.SaveLocked();
  }

  bool WriteFile() {
    DiskTransfer& t = b_.transfer;
    if (c_.direction != ScsiDirection::kToDevice) return Refuse("CMD_WriteFile without data to the board");
    if (Injected(t.operation, t.medium)) return false;
    if (t.kind != DiskTransfer::Kind::kWrite) return Refuse("CMD_WriteFile with no write under way");
    uint32_t remaining = t.expected - t.received;
    uint32_t take = c_.dataLength;
    if (take == 2 && remaining == 1) take = 1;  // a one-byte chunk travels as two bytes
    if (c_.dataLength == 0 || c_.dataLength > kMaxChunk)
      return Refuse("CMD_WriteFile chunk of " + std::to_string(c_.dataLength));
    if (take > remaining) {
      return Refuse("chunk of " + std::to_string(c_.dataLength) + " bytes where " +
                    std::to_string(remaining) + " remain");
    }
    if (b_.FireLocked(FaultKind::kDisconnectAtChunk, t.operation, t.medium)) {
      b_.LogLocked("fault: disk vanishes");
      b_.Disconnect();
      return false;
    }
    Take(t, data_, take);
    if (t.received == t.expected) CompleteWrite();
    return true;
  }

  // The second loader stage runs only if it passes its check, so it is held whole.
  bool SecondStage(const DiskTransfer& t) const {
    return t.medium == Medium::kSdram && b_.stage == Stage::kIntermediate;
  }
  uint32_t HeldBytes(const DiskTransfer& t) const {
    return SecondStage(t) ? t.expected : std::min(t.expected, kHeldBytes);
  }

  // Data goes straight to its place, so the board never keeps a second copy
  // of a stream; a refused write still takes its data, and stores none.
  void Take(DiskTransfer& t, const uint8_t* data, uint32_t n) {
    if (!t.judged) {
      uint32_t more = std::min(n, HeldBytes(t) - t.received);
      t.held.insert(t.held.end(), data, data + more);
      t.received += more;
      data += more;
      n -= more;
      if (t.received < HeldBytes(t)) return;
      t.judged = true;
      t.refusal = Judge(t);
      if (t.refusal.empty() && !SecondStage(t)) Program(t, 0, t.held.data(), t.received);
    }
    if (n > 0 && t.refusal.empty()) Program(t, t.received, data, n);
    t.received += n;
  }

  void Program(const DiskTransfer& t, uint64_t streamOffset, const uint8_t* data, uint64_t n) {
    if (FlashStore* store = b_.model.Store(t.medium)) store->Write(t.at + streamOffset, data, n);
  }

  // Everything that can refuse a write, decided before any of it is stored.
  // An image is begun here: its place is cleared now and its entry joins the
  // table only when its last byte is in.
  std::string Judge(DiskTransfer& t) {
    if (SecondStage(t)) {
      if (!b_.options.checkLoaderTag) return {};
      std::string why = CheckStage(t.held, kSecondStageTag, t.expected, kSecondStageAddress, b_.options.kind);
      return why.empty() ? why : "second loader stage: " + why;
    }
    if (t.medium == Medium::kSdram || t.method == 2 || t.method == 6) {
      t.at = t.medium == Medium::kSdram ? t.address & 0x7FFFFFFF : t.address;
      return b_.model.CheckRaw(t.medium, t.at, t.expected);
    }
    if (b_.IsFamily() && t.entry.type == kSystemImageKind) {
      uint32_t header = BootHeaderLength(t.held.data(), t.expected, b_.options.kind);
      if (header == 0) return "system image without its boot header";
      if (LoadLe32(t.held.data() + 8) != t.expected - header) return "boot header gives another image length";
    }
    std::string why = b_.model.BeginImage(t.medium, t.entry, t.expected);
    t.at = b_.model.ImageOffset(t.medium, t.entry);
    return why;
  }

  void CompleteWrite() {
    DiskTransfer t = std::move(b_.transfer);
    b_.transfer = DiskTransfer{};
    if (SecondStage(t)) {
      if (t.refusal.empty()) {
        b_.model.WriteRaw(Medium::kSdram, t.address, t.held);
        b_.lastLoader = std::move(t.held);
        b_.ScheduleStageLocked(Stage::kLoader);
        return;
      }
      Finish(t.refusal);
      return;
    }
    if (t.medium == Medium::kSdram) {
      Finish(t.refusal);
      return;
    }
    if (t.refusal.empty() && t.method != 2 && t.method != 6) b_.model.AddImage(t.medium, t.entry);
    uint32_t steps = (100 + b_.options.progressStep - 1) / std::max<uint32_t>(1, b_.options.progressStep);
    b_.busyUntilMs =
        b_.clock->NowMs() + static_cast<uint64_t>(steps) * b_.StepDelayLocked(t.operation, t.medium);
    Finish(t.refusal);
  }

  bool GetFileData() {
    DiskTransfer& t = b_.transfer;
    if (c_.direction != ScsiDirection::kFromDevice)
      return Refuse("CMD_GetFileData without data from the board");
    if (Injected(t.operation, t.medium)) return false;
    if (t.kind != DiskTransfer::Kind::kRead) return Refuse("CMD_GetFileData with no read under way");
    if (c_.dataLength == 0 || c_.dataLength > kMaxChunk)
      return Refuse("CMD_GetFileData chunk of " + std::to_string(c_.dataLength));
    if (c_.dataLength > t.readLimit - t.readPos) return Refuse("read past the data the head asked for");
    if (b_.FireLocked(FaultKind::kDisconnectAtChunk, t.operation, t.medium)) {
      b_.LogLocked("fault: disk vanishes");
      b_.Disconnect();
      return false;
    }
    const MediumState* m = b_.model.Get(t.medium);
    if (!m || !m->store.Read(t.readBase + t.readPos, data_, c_.dataLength))
      return Refuse("read past the flash");
    t.readPos += c_.dataLength;
    return true;
  }

  bool GetLastStatus() {
    uint8_t selector = cdb_[6];
    if (!Expect(ScsiDirection::kFromDevice, selector == 6 ? 5 : 4, "CMD_GetLastStatus")) return false;
    Medium medium = selector == 5 ? Medium::kSd : selector == 2 ? Medium::kSpi : Medium::kNand;
    if (Injected(Operation::kStatus, medium)) return false;
    switch (selector) {
      case 3: {
        if (b_.clock->NowMs() < b_.busyUntilMs) return false;  // still programming: no answer yet
        uint8_t status[4] = {b_.lastStatus, 0, 0, 0};
        if (b_.FireLocked(FaultKind::kStatusErrorBits, Operation::kStatus, Medium::kAny)) status[0] = 1;
        Reply(status, 4);
        return true;
      }
      case 2:
        if (b_.spiEraseBusyLeft > 0) {
          ReplyU32(b_.spiEraseBusyLeft--);
        } else {
          ReplyU32(0);
        }
        return true;
      case 0:
        ReplyU32(b_.model.NandBlockCount());
        return true;
      case 4:
        ReplyU32(b_.model.NandSizeMb());
        return true;
      case 5:
        if (!b_.model.Get(Medium::kSd))
          return Refuse("no card in SD port " + std::to_string(b_.model.sdPort));
        ReplyU32(b_.model.SdSizeMb());
        return true;
      case 6:
        Reply(b_.options.nandId.data(), b_.options.nandId.size());
        return true;
      default:
        return Refuse("CMD_GetLastStatus selector " + std::to_string(selector));
    }
  }

  bool SetParameter() {
    uint8_t selector = cdb_[6];
    if (c_.direction != ScsiDirection::kToDevice) return Refuse("CMD_SetParameter without data to the board");
    if (Injected(Operation::kParameter, Medium::kAny)) return false;
    uint32_t want = selector == 4 || selector == 5 ? 2 : 4;
    if (selector > 5) return Refuse("CMD_SetParameter selector " + std::to_string(selector));
    if (!Expect(ScsiDirection::kToDevice, want, "CMD_SetParameter")) return false;
    switch (selector) {
      case 0:
      case 1: {
        // A reserved size travels as its low 16 bits; the upper bytes stay 0.
        if (data_[2] != 0 || data_[3] != 0) return Refuse("reserved size block with its upper bytes set");
        uint32_t mb = data_[0] | (data_[1] << 8);
        uint32_t total = selector == 0 ? b_.model.NandSizeMb() : b_.model.SdSizeMb();
        if (mb > total) {
          Finish("reserved size " + std::to_string(mb) + " MB exceeds the medium");
          return true;
        }
        (selector == 0 ? b_.model.nandReservedMb : b_.model.sdReservedMb) = mb;
        break;
      }
      case 2:
      case 3:
        b_.model.nandIdParameters[selector - 2] = LoadLe32(data_);
        break;
      case 4:
        if (data_[0] > 1 || data_[1] != 0) return Refuse("format flag block other than {0|1, 0}");
        b_.model.sdFormatRequested = data_[0] == 1;
        break;
      case 5:
        if (data_[0] > 2 || data_[1] != 0) return Refuse("SD port block other than {0..2, 0}");
        // A transfer under way on the old card has lost its medium.
        if (data_[0] != b_.model.sdPort && b_.transfer.medium == Medium::kSd) b_.transfer = DiskTransfer{};
        b_.model.sdPort = data_[0];
        break;
    }
    Finish({});
    return true;
  }

  bool ReadTable() {
    Medium medium = MediumOfTableCode(cdb_[6]);
    uint8_t part = cdb_[7];
    if (medium == Medium::kAny) return Refuse("table of medium " + std::to_string(cdb_[6]));
    if (cdb_[1] != (medium == Medium::kSd ? 3 : 0))
      return Refuse("table read with unit " + std::to_string(cdb_[1]));
    if (c_.direction != ScsiDirection::kFromDevice) return Refuse("table read without data from the board");
    if (Injected(Operation::kReadTable, medium)) return false;
    const MediumState* m = b_.model.Get(medium);
    if (!m) return Refuse("no card in SD port " + std::to_string(b_.model.sdPort));
    size_t entry = b_.IsFamily() ? 60 : 44;
    uint32_t count = static_cast<uint32_t>(m->table.size());
    switch (part) {
      case 0: {
        if (!Expect(ScsiDirection::kFromDevice, 4, "table count")) return false;
        if (auto f = b_.FireLocked(FaultKind::kHugeTableCount, Operation::kReadTable, medium)) {
          b_.hugeTableAnnounced = true;
          ReplyU32(f->value ? f->value : 0x7FFFFFFF);
          return true;
        }
        b_.hugeTableAnnounced = false;
        ReplyU32(count);
        return true;
      }
      case 1: {
        if (b_.hugeTableAnnounced) return Refuse("the announced table is not there");
        std::vector<uint8_t> bytes = b_.model.TableBytes(medium, entry);
        if (!Expect(ScsiDirection::kFromDevice, static_cast<uint32_t>(bytes.size()), "table")) return false;
        Reply(bytes.data(), bytes.size());
        return true;
      }
      case 2:
        // The SD port changed: the board looks at the new card and answers its image count.
        if (medium != Medium::kSd) return Refuse("card rescan on another medium");
        if (!Expect(ScsiDirection::kFromDevice, 4, "card rescan")) return false;
        ReplyU32(count);
        return true;
      default:
        return Refuse("table part " + std::to_string(part));
    }
  }

  VirtualBoard::Impl& b_;
  const ScsiCommand& c_;
  const uint8_t* cdb_;
  uint8_t* data_;
};

}  // namespace

bool VirtualBoard::Impl::ExecuteScsiLocked(const ScsiCommand& command) {
  return DiskSide(*this, command).Run();
}

}  // namespace zorbel::sim
