#pragma once
// The virtual board: the board's side of the serial and mass-storage wires,
// with its boot stage, loader stage, flash models and image tables. It is the
// counterpart of every protocol, connection and page test, and it decodes
// what it receives with its own code, so a layout mistake in the tool shows
// up as a failure instead of being mirrored.
//
// Thread safety: every public member may be called from any thread; the
// serial and socket servers run on threads of their own.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/clock.h"
#include "link/device_bus.h"
#include "link/scsi_transport.h"

namespace zorbel::sim {

enum class BoardKind { kVcom, kOlder, kQuen, kRast, kPilk };

// What the board presents on USB right now.
enum class Stage {
  kBoot,          // boot code: COM port (kVcom) or boot disk (B190, 6E22, 6E32, 6E12)
  kIntermediate,  // older chip only: first loader stage runs, disk B191
  kLoader,        // loader runs: COM port (kVcom) or loader disk (B192, 6E21, 6E31, 6E11)
  kGone,          // disconnected by a fault: nothing is presented
};

enum class Medium { kAny, kSdram, kNor, kNand, kSpi, kSd };

// Which board operation a fault or an inspection refers to.
enum class Operation {
  kAny,
  kLoaderStream,  // the "xusb.bin" stream over the COM port
  kBootCommand,   // 'Q', 'R', 'S', 'U', 'r', run
  kDownload,      // SDRAM download, including the second loader stage
  kBurn,          // image and raw burns / writes
  kVerify,        // verify and read-back
  kErase,
  kModify,
  kReadTable,     // table, NOR device text and count reads
  kStatus,        // CMD_GetLastStatus
  kParameter,     // CMD_SetParameter
  kChooseMethod,  // the in-band flash-method request
};

enum class FaultKind {
  kShortChunkAck,      // serial: the ack of chunk n carries only 2 bytes, then the board waits
  kWrongChunkAck,      // serial: the ack of chunk n is `value` instead of the chunk length
  kStatusErrorBits,    // status word n of the operation gets `value` (default 0x00010000) or'ed in;
                       // mass storage: the last status byte becomes 1
  kFailCommand,        // the n-th matching command fails (disk: Execute returns false;
                       // serial: ChooseMethod reply byte 0 is wrong for the n-th request)
  kDisconnectAtChunk,  // at chunk n the pseudo-terminal closes / the disk vanishes
  kNoReenumeration,    // the run command / loader never brings the next stage up
  kHugeTableCount,     // a table read announces `value` entries (default 0x7FFFFFFF) and sends none
  kSlowProgramming,    // programming and erase take `value` ms per status step
};

struct Fault {
  FaultKind kind = FaultKind::kFailCommand;
  Operation operation = Operation::kAny;
  Medium medium = Medium::kAny;
  uint32_t n = 1;  // 1-based: chunk, call or status word at which it fires
  uint32_t value = 0;
};

struct BoardOptions {
  BoardKind kind = BoardKind::kQuen;
  Clock* clock = nullptr;  // null: the real clock
  uint32_t reenumerateDelayMs = 300;
  bool startInLoaderStage = false;
  std::string stateDir;  // empty: fresh and in memory; else loaded from and saved to this folder

  // NAND
  uint32_t nandBlockCount = 1024;
  uint8_t nandBlockSizeCode = 1;  // 1: 16 KB, 2: 128 KB, 3: 256 KB (what ChooseMethod 4 answers)
  std::array<uint8_t, 5> nandId{0x5A, 0xD3, 0x51, 0x95, 0x58};
  // NOR: the 16-byte device type text (shorter texts are zero-padded) and size.
  std::string norDeviceText = "VNOR-ZB3200";
  uint32_t norSizeBytes = 4u << 20;
  // SPI: size in bytes; images start at 64 KB banks.
  uint32_t spiSizeBytes = 8u << 20;
  // SD: card size in MB per port (0: no card in that slot) and the port selected at start.
  std::array<uint32_t, 3> sdSizeMb{1024, 512, 0};
  uint8_t sdPort = 0;

  // Programming and erasing: the board reports its progress in steps of
  // `progressStep` percent, `stepDelayMs` apart (on the board's clock).
  uint32_t progressStep = 25;
  uint32_t stepDelayMs = 10;
  // SPI whole-flash erase over the disk: polls of selector 2 that still report busy.
  uint32_t spiEraseBusyPolls = 3;
  // Loader stand-ins carry a stage tag that the board checks; turn it off to
  // accept any payload.
  bool checkLoaderTag = true;
};

// One image table entry as the board keeps it.
struct ImageEntry {
  uint32_t recordCode = 0;  // the board's use
  uint32_t length = 0;      // bytes stored
  uint32_t number = 0;
  std::string name;  // up to 32 bytes
  uint32_t type = 0;
  uint32_t executeAddress = 0;
  uint32_t start = 0;  // NOR: flash offset; NAND: block; SPI: bank; SD: sector
  uint32_t end = 0;    // NOR: last byte; NAND: last block; SPI: last bank; SD: last sector
  bool operator==(const ImageEntry&) const = default;
};

// A register write received in the boot stage: 'R' gives the address, 'S' the value.
struct BoardRegisterWrite {
  char letter = 0;
  uint32_t value = 0;
  bool operator==(const BoardRegisterWrite&) const = default;
};

class VirtualBoard {
 public:
  explicit VirtualBoard(BoardOptions options);
  ~VirtualBoard();
  VirtualBoard(const VirtualBoard&) = delete;
  VirtualBoard& operator=(const VirtualBoard&) = delete;

  // --- what the board presents ---
  // The slave path of the board's pseudo-terminal (kVcom; empty for disk boards).
  std::string PtyPath() const;
  // What the board shows on USB right now: its MCU port or its disk, named
  // "virtual:<kind>" and found under "USB\VID_7C3A&PID_<current product ID>".
  DeviceBus& Bus();
  // An in-process channel to the disk; it fails once the board re-enumerated.
  std::unique_ptr<ScsiTransport> OpenDisk();
  // Serves the disk with the SCSI-over-socket framing on a Unix socket.
  bool ServeSocket(const std::string& path);
  // Carries out one SCSI command as the disk; `data` is read or filled per the
  // direction. False when the command fails (the tool's channel then fails).
  bool ExecuteScsi(const ScsiCommand& command);

  // --- inspection ---
  Stage CurrentStage();
  std::string ProductId();         // "6E21", "B190", ...; empty for kVcom and when gone
  std::string VolumePath() const;  // "virtual:quen", ...
  std::vector<uint8_t> Sdram(uint32_t address, uint32_t length) const;
  std::vector<uint8_t> Flash(Medium medium, uint64_t offset, uint32_t length) const;
  std::vector<ImageEntry> Table(Medium medium) const;
  std::optional<ImageEntry> FindImage(Medium medium, uint32_t number) const;
  std::vector<uint8_t> ImageData(Medium medium, uint32_t number) const;
  std::vector<uint8_t> LastLoader() const;  // payload bytes of the last loader stage received
  uint32_t LoadAddress() const;             // the last 'U' address
  std::vector<BoardRegisterWrite> RegisterWrites() const;
  std::vector<uint8_t> LastHead() const;  // the last head received, as sent
  uint8_t LastMethod() const;             // the last FlashMethod selected
  uint32_t NandReservedMb() const;
  uint32_t SdReservedMb() const;
  bool SdFormatRequested() const;
  uint8_t SdPort() const;
  std::array<uint32_t, 2> NandIdParameters() const;
  std::optional<uint32_t> RanAddress() const;  // an SDRAM download that asked to run
  // The registry marks made through Bus(), as "vid:pid", in order.
  std::vector<std::string> RegistryMarks() const;
  // Everything the board refused or found out of order, one line each.
  std::vector<std::string> ProtocolErrors() const;
  // True when another process's board holds the state folder; this board
  // then neither loads nor saves it.
  bool StateDirInUse() const;
  // What `count` gives for the process's open descriptors, less the board's
  // own, counted while the board opens and closes none (it briefly opens its
  // line after the tool closed it): what the tool holds stays comparable.
  size_t ForeignDescriptors(const std::function<size_t()>& count) const;
  // How often the board saw the tool close its COM port (and dropped the
  // replies left unread); a test waits on it instead of sleeping.
  uint32_t SerialPortClosings() const;

  // --- set-up and fault injection ---
  void InjectFault(const Fault& fault);
  void ClearFaults();
  // Puts an image into a medium's table directly (test set-up).
  bool PutImage(Medium medium, const ImageEntry& entry, const std::vector<uint8_t>& data);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

const char* KindName(BoardKind kind);  // "vcom", "older", "quen", "rast", "pilk"
std::optional<BoardKind> ParseKind(const std::string& name);

}  // namespace zorbel::sim
