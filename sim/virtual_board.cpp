#include "virtual_board.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "board_bytes.h"
#include "board_impl.h"
#include "standin_files.h"

namespace zorbel::sim {
namespace {

constexpr char kPortDescription[] = "Velmora ARM 926-Based MCU Ports";
constexpr char kVendorId[] = "7C3A";

// The Windows error codes a volume handle reports.
constexpr uint32_t kSuccess = 0;
constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kGenFailure = 31;
constexpr uint32_t kDeviceNotConnected = 1167;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool Matches(const Fault& f, Operation operation, Medium medium) {
  return (f.operation == Operation::kAny || f.operation == operation) &&
         (f.medium == Medium::kAny || f.medium == medium);
}

// The disk as the tool's channel sees it: fails once the board re-enumerated
// or vanished, as a handle on a real volume would.
class BoardDiskTransport final : public ScsiTransport {
 public:
  BoardDiskTransport(VirtualBoard::Impl& board, uint64_t generation)
      : board_(board), generation_(generation) {}
  bool Execute(const ScsiCommand& command) override {
    std::lock_guard<std::mutex> lock(board_.mutex);
    board_.UpdateStageLocked();
    if (board_.generation != generation_ || board_.stage == Stage::kGone) {
      error_ = kDeviceNotConnected;
      return false;
    }
    bool ok = board_.ExecuteScsiLocked(command);
    error_ = ok ? kSuccess : kGenFailure;
    return ok;
  }
  uint32_t LastError() const override { return error_; }

 private:
  VirtualBoard::Impl& board_;
  uint64_t generation_;
  uint32_t error_ = 0;
};

}  // namespace

class BoardBus final : public DeviceBus {
 public:
  explicit BoardBus(VirtualBoard::Impl& board) : board_(board) {}

  bool EnumerateMcuPorts(std::vector<McuPort>& ports) override {
    ports.clear();
    std::lock_guard<std::mutex> lock(board_.mutex);
    board_.UpdateStageLocked();
    if (!board_.IsDisk() && board_.stage != Stage::kGone && board_.serial) {
      ports.push_back({0, board_.serial->Path(), kPortDescription});
    }
    return true;
  }

  std::vector<std::string> FindVolumesForDevice(const std::string& deviceId) override {
    std::lock_guard<std::mutex> lock(board_.mutex);
    board_.UpdateStageLocked();
    std::string pid = board_.ProductIdLocked();
    if (pid.empty()) return {};
    std::string ours = Upper(std::string("USB\\VID_") + kVendorId + "&PID_" + pid);
    std::string wanted = Upper(deviceId);
    if (wanted.empty() || ours.compare(0, wanted.size(), wanted) != 0) return {};
    return {std::string("virtual:") + KindName(board_.options.kind)};
  }

  std::unique_ptr<ScsiTransport> OpenVolume(const std::string& volumePath, uint32_t* error) override {
    std::lock_guard<std::mutex> lock(board_.mutex);
    board_.UpdateStageLocked();
    if (volumePath != std::string("virtual:") + KindName(board_.options.kind) ||
        board_.ProductIdLocked().empty()) {
      if (error) *error = kFileNotFound;
      return nullptr;
    }
    if (error) *error = kSuccess;
    return std::make_unique<BoardDiskTransport>(board_, board_.generation);
  }

  void MarkDeviceInRegistry(const std::string& vendorId, const std::string& productId, UserPrompt&) override {
    std::lock_guard<std::mutex> lock(board_.mutex);
    board_.registryMarks.push_back(vendorId + ":" + productId);
  }

 private:
  VirtualBoard::Impl& board_;
};

// ---------------------------------------------------------------- Impl

VirtualBoard::Impl::Impl(BoardOptions opts)
    : options(std::move(opts)), clock(options.clock ? options.clock : &realClock), model(options) {
  bus = std::make_unique<BoardBus>(*this);
  if (!options.stateDir.empty()) {
    stateDirInUse = !LockStateDir(options.stateDir, &stateLock);
    if (stateDirInUse) {
      LogLocked("state: " + options.stateDir + " is in use by another board process");
    } else {
      LoadState();
    }
  }
  if (options.startInLoaderStage) stage = Stage::kLoader;
}

VirtualBoard::Impl::~Impl() {
  // Servers first: their threads call back into this object. They are taken
  // out under the lock their threads read them under, then stopped outside it.
  std::unique_ptr<SerialServer> stoppingSerial;
  std::vector<std::unique_ptr<SocketServer>> stoppingSockets;
  {
    std::lock_guard<std::mutex> lock(mutex);
    stoppingSerial = std::move(serial);
    stoppingSockets = std::move(sockets);
  }
  stoppingSockets.clear();
  stoppingSerial.reset();
  UnlockStateDir(stateLock);
}

void VirtualBoard::Impl::UpdateStageLocked() {
  if (pendingStage && clock->NowMs() >= pendingAtMs) {
    Stage next = *pendingStage;
    pendingStage.reset();
    SetStageLocked(next);
  }
}

void VirtualBoard::Impl::SetStageLocked(Stage next) {
  if (stage == Stage::kGone) return;
  stage = next;
  ++generation;
  transfer = DiskTransfer{};
  lastStatus = 0;
  busyUntilMs = 0;
  SaveLocked();
}

void VirtualBoard::Impl::ScheduleStageLocked(Stage next) {
  Medium medium = Medium::kSdram;
  if (FireLocked(FaultKind::kNoReenumeration, Operation::kBootCommand, medium) ||
      FireLocked(FaultKind::kNoReenumeration, Operation::kDownload, medium)) {
    LogLocked("fault: the board does not come back after re-enumeration");
    Disconnect();
    return;
  }
  // The old disk goes away at once; the new one shows up after the delay.
  ++generation;
  pendingStage = next;
  pendingAtMs = clock->NowMs() + options.reenumerateDelayMs;
}

std::string VirtualBoard::Impl::ProductIdLocked() const {
  if (stage == Stage::kGone || pendingStage) return {};
  switch (options.kind) {
    case BoardKind::kVcom:
      return {};
    case BoardKind::kOlder:
      return stage == Stage::kBoot ? "B190" : stage == Stage::kIntermediate ? "B191" : "B192";
    case BoardKind::kQuen:
      return stage == Stage::kBoot ? "6E22" : "6E21";
    case BoardKind::kRast:
      return stage == Stage::kBoot ? "6E32" : "6E31";
    case BoardKind::kPilk:
      return stage == Stage::kBoot ? "6E12" : "6E11";
  }
  return {};
}

void VirtualBoard::Impl::LogLocked(const std::string& line) { errors.push_back(line); }

std::optional<Fault> VirtualBoard::Impl::FireLocked(FaultKind kind, Operation operation, Medium medium) {
  std::optional<Fault> fired;
  for (ArmedFault& a : faults) {
    if (a.spent || a.fault.kind != kind || !Matches(a.fault, operation, medium)) continue;
    ++a.seen;
    uint32_t repeats = kind == FaultKind::kFailCommand && a.fault.value > 0 ? a.fault.value : 1;
    if (a.seen >= a.fault.n && a.seen < a.fault.n + repeats) {
      if (!fired) fired = a.fault;
      if (a.seen + 1 >= a.fault.n + repeats) a.spent = true;
    }
  }
  return fired;
}

uint32_t VirtualBoard::Impl::StepDelayLocked(Operation operation, Medium medium) {
  uint32_t delay = options.stepDelayMs;
  for (const ArmedFault& a : faults) {
    if (a.fault.kind == FaultKind::kSlowProgramming && Matches(a.fault, operation, medium)) {
      delay += a.fault.value;
    }
  }
  return delay;
}

void VirtualBoard::Impl::Disconnect() {
  stage = Stage::kGone;
  pendingStage.reset();
  ++generation;
  if (serial) serial->Hangup();
}

std::string CheckStage(const std::vector<uint8_t>& payload, const char (&tag)[4], uint32_t expectedLength,
                       std::optional<uint32_t> expectedAddress, BoardKind kind) {
  if (payload.size() < kStageHeaderSize) return "loader stage shorter than its header";
  if (std::memcmp(payload.data(), tag, 4) != 0) return "loader stage has the wrong magic";
  uint32_t length = LoadLe32(payload.data() + 4);
  if (length != expectedLength) {
    return "loader stage says " + std::to_string(length) + " bytes, " + std::to_string(expectedLength) +
           " arrived";
  }
  uint32_t address = LoadLe32(payload.data() + 8);
  if (expectedAddress && address != *expectedAddress) return "loader stage loaded at the wrong address";
  if (payload[12] != KindCode(kind)) return "loader stage is for another chip";
  return {};
}

// ---------------------------------------------------------------- VirtualBoard

VirtualBoard::VirtualBoard(BoardOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {
  if (!impl_->IsDisk()) {
    std::string error;
    auto server = StartSerialServer(*impl_, &error);
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->serial = std::move(server);
    if (!impl_->serial) impl_->LogLocked("pseudo-terminal: " + error);
  }
}

VirtualBoard::~VirtualBoard() = default;

std::string VirtualBoard::PtyPath() const { return impl_->serial ? impl_->serial->Path() : std::string(); }

DeviceBus& VirtualBoard::Bus() { return *impl_->bus; }

std::unique_ptr<ScsiTransport> VirtualBoard::OpenDisk() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return std::make_unique<BoardDiskTransport>(*impl_, impl_->generation);
}

bool VirtualBoard::ServeSocket(const std::string& path) {
  std::string error;
  auto server = StartSocketServer(*impl_, path, &error);
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (!server) {
    impl_->LogLocked("socket: " + error);
    return false;
  }
  impl_->sockets.push_back(std::move(server));
  return true;
}

bool VirtualBoard::ExecuteScsi(const ScsiCommand& command) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->UpdateStageLocked();
  if (impl_->stage == Stage::kGone) return false;
  return impl_->ExecuteScsiLocked(command);
}

Stage VirtualBoard::CurrentStage() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->UpdateStageLocked();
  return impl_->stage;
}

std::string VirtualBoard::ProductId() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->UpdateStageLocked();
  return impl_->ProductIdLocked();
}

std::string VirtualBoard::VolumePath() const {
  return std::string("virtual:") + KindName(impl_->options.kind);
}

std::vector<uint8_t> VirtualBoard::Sdram(uint32_t address, uint32_t length) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->model.sdram().Read(address, length);
}

std::vector<uint8_t> VirtualBoard::Flash(Medium medium, uint64_t offset, uint32_t length) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (medium == Medium::kSdram) return impl_->model.sdram().Read(offset, length);
  const MediumState* m = impl_->model.Get(medium);
  return m ? m->store.Read(offset, length) : std::vector<uint8_t>();
}

std::vector<ImageEntry> VirtualBoard::Table(Medium medium) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  const MediumState* m = impl_->model.Get(medium);
  return m ? m->table : std::vector<ImageEntry>();
}

std::optional<ImageEntry> VirtualBoard::FindImage(Medium medium, uint32_t number) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->model.Find(medium, number);
}

std::vector<uint8_t> VirtualBoard::ImageData(Medium medium, uint32_t number) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->model.ImageData(medium, number);
}

std::vector<uint8_t> VirtualBoard::LastLoader() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->lastLoader;
}

uint32_t VirtualBoard::LoadAddress() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->loadAddress.value_or(0);
}

std::vector<BoardRegisterWrite> VirtualBoard::RegisterWrites() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->registers;
}

std::vector<uint8_t> VirtualBoard::LastHead() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->lastHead;
}

uint8_t VirtualBoard::LastMethod() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->lastMethod;
}

uint32_t VirtualBoard::NandReservedMb() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->model.nandReservedMb;
}

uint32_t VirtualBoard::SdReservedMb() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->model.sdReservedMb;
}

bool VirtualBoard::SdFormatRequested() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->model.sdFormatRequested;
}

uint8_t VirtualBoard::SdPort() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->model.sdPort;
}

std::array<uint32_t, 2> VirtualBoard::NandIdParameters() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->model.nandIdParameters;
}

std::optional<uint32_t> VirtualBoard::RanAddress() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->ranAddress;
}

std::vector<std::string> VirtualBoard::RegistryMarks() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->registryMarks;
}

uint32_t VirtualBoard::SerialPortClosings() const {
  return impl_->serial ? impl_->serial->PortClosings() : 0;
}

size_t VirtualBoard::ForeignDescriptors(const std::function<size_t()>& count) const {
  return impl_->serial ? impl_->serial->ForeignDescriptors(count) : count();
}

std::vector<std::string> VirtualBoard::ProtocolErrors() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->errors;
}

bool VirtualBoard::StateDirInUse() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->stateDirInUse;
}

void VirtualBoard::InjectFault(const Fault& fault) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->faults.push_back({fault, 0, false});
}

void VirtualBoard::ClearFaults() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->faults.clear();
}

bool VirtualBoard::PutImage(Medium medium, const ImageEntry& entry, const std::vector<uint8_t>& data) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  std::string why = impl_->model.StoreImage(medium, entry, data);
  if (!why.empty()) return false;
  impl_->SaveLocked();
  return true;
}

const char* KindName(BoardKind kind) {
  switch (kind) {
    case BoardKind::kVcom:
      return "vcom";
    case BoardKind::kOlder:
      return "older";
    case BoardKind::kQuen:
      return "quen";
    case BoardKind::kRast:
      return "rast";
    case BoardKind::kPilk:
      return "pilk";
  }
  return "";
}

std::optional<BoardKind> ParseKind(const std::string& name) {
  for (BoardKind k :
       {BoardKind::kVcom, BoardKind::kOlder, BoardKind::kQuen, BoardKind::kRast, BoardKind::kPilk}) {
    if (name == KindName(k)) return k;
  }
  return std::nullopt;
}

}  // namespace zorbel::sim
