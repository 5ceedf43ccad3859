#pragma once
// Inside of VirtualBoard, shared by its source files: the stage machine, the
// storage, the fault list and the disk transfer in progress. Every field is
// guarded by `mutex`; the serial session takes it only around model calls,
// never while it waits on the wire.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "board_model.h"
#include "virtual_board.h"

namespace zorbel::sim {

// The servers run threads of their own; destroying one stops it and joins them.
class SerialServer {
 public:
  virtual ~SerialServer() = default;
  virtual std::string Path() const = 0;
  // Closes the pseudo-terminal at once (a disconnect).
  virtual void Hangup() = 0;
  // What `count` gives for the process's descriptors, less the server's own,
  // counted while the server opens and closes none.
  virtual size_t ForeignDescriptors(const std::function<size_t()>& count) = 0;
  // How often the server saw the tool close its end and dropped what was left unread.
  virtual uint32_t PortClosings() const = 0;
};

class SocketServer {
 public:
  virtual ~SocketServer() = default;
};

// What a CMD_WriterProcess head opened on the disk, until its data has moved.
struct DiskTransfer {
  enum class Kind { kNone, kWrite, kRead } kind = Kind::kNone;
  Operation operation = Operation::kAny;
  Medium medium = Medium::kAny;
  uint8_t method = 0;
  uint32_t expected = 0;  // bytes a write carries in all
  uint32_t address = 0;   // SDRAM address or raw offset
  ImageEntry entry;       // for image writes
  // Writes: bytes taken so far. The first of them are held until the write
  // is judged; after that, data goes to its place as it arrives, or nowhere
  // once `refusal` is set (it is reported when the last byte is in).
  uint32_t received = 0;
  std::vector<uint8_t> held;
  bool judged = false;
  std::string refusal;
  uint64_t at = 0;  // where the stream's first byte goes
  // Reads: where the stream comes from.
  uint64_t readBase = 0;
  uint64_t readLimit = 0;  // bytes that may be read in all
  uint64_t readPos = 0;
  std::vector<uint8_t> readBuffer;  // used instead of the flash when not empty
};

class BoardBus;

struct VirtualBoard::Impl {
  explicit Impl(BoardOptions opts);
  ~Impl();

  BoardOptions options;
  RealClock realClock;
  Clock* clock;
  mutable std::mutex mutex;
  BoardModel model;

  Stage stage = Stage::kBoot;
  std::optional<Stage> pendingStage;
  uint64_t pendingAtMs = 0;
  uint64_t generation = 0;  // bumped at each re-enumeration; stale disk handles fail

  // Boot stage
  std::optional<uint32_t> loadAddress;
  bool firstStageOk = false;
  std::vector<BoardRegisterWrite> registers;

  std::vector<uint8_t> lastLoader;
  std::vector<uint8_t> lastHead;
  uint8_t lastMethod = 0;
  std::optional<uint32_t> ranAddress;
  std::vector<std::string> errors;
  std::vector<std::string> registryMarks;

  struct ArmedFault {
    Fault fault;
    uint32_t seen = 0;
    bool spent = false;
  };
  std::vector<ArmedFault> faults;

  // Disk side
  DiskTransfer transfer;
  uint8_t lastStatus = 0;
  uint64_t busyUntilMs = 0;
  uint32_t spiEraseBusyLeft = 0;
  bool hugeTableAnnounced = false;

  std::unique_ptr<SerialServer> serial;
  std::vector<std::unique_ptr<SocketServer>> sockets;
  std::unique_ptr<BoardBus> bus;

  // --- all *Locked members expect `mutex` held ---
  bool IsFamily() const { return options.kind != BoardKind::kVcom && options.kind != BoardKind::kOlder; }
  bool IsDisk() const { return options.kind != BoardKind::kVcom; }
  void UpdateStageLocked();
  void SetStageLocked(Stage next);
  // Brings `next` up after the re-enumeration delay, unless a fault keeps it down.
  void ScheduleStageLocked(Stage next);
  std::string ProductIdLocked() const;
  void LogLocked(const std::string& line);
  // Counts one event of this kind; the fault that fires on it, if any.
  std::optional<Fault> FireLocked(FaultKind kind, Operation operation, Medium medium);
  // Programming time of one operation, in ms, with any slow-programming fault.
  uint32_t StepDelayLocked(Operation operation, Medium medium);
  void Disconnect();  // the board vanishes from USB

  bool ExecuteScsiLocked(const ScsiCommand& command);

  // Persistence (no-ops without a state folder, or when another process
  // holds it: two boards on one folder would each save over the other).
  void SaveLocked();
  bool LoadState();
  intptr_t stateLock = -1;
  bool stateDirInUse = false;
  bool stateUnmovable = false;  // a damaged state that could not be moved aside
};

// The state folder's lock (state_lock_posix.cpp, state_lock_win32.cpp). False
// when another process holds it; true also when no lock could be made there.
bool LockStateDir(const std::string& dir, intptr_t* handle);
void UnlockStateDir(intptr_t handle);

// A stage-tagged loader payload check, shared by the serial and disk boot stages.
// Empty when the stage is acceptable, else why not.
std::string CheckStage(const std::vector<uint8_t>& payload, const char (&tag)[4], uint32_t expectedLength,
                       std::optional<uint32_t> expectedAddress, BoardKind kind);

std::unique_ptr<SerialServer> StartSerialServer(VirtualBoard::Impl& board, std::string* error);
std::unique_ptr<SocketServer> StartSocketServer(VirtualBoard::Impl& board, const std::string& path,
                                                std::string* error);

}  // namespace zorbel::sim
