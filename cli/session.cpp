#include "session.h"

#include "app/tool_settings.h"
#include "interrupt.h"
#include "link/connect_worker.h"
#include "link/updatepmp.h"

namespace zorbel::cli {
namespace {

constexpr const char* kConnectFailed = "Not connected to a board.";
constexpr const char* kDiskInUse = "The board's disk is in use by another program; try again when it is done.";

}  // namespace

std::optional<VirtualBoardRequest> ParseVirtualBoardOption(const std::string& value) {
  const size_t colon = value.find(':');
  const auto kind = sim::ParseKind(value.substr(0, colon));
  if (!kind) return std::nullopt;
  VirtualBoardRequest request;
  request.kind = *kind;
  if (colon != std::string::npos) request.dir = value.substr(colon + 1);
  return request;
}

std::string BoardFolderInUse(const std::string& dir) {
  return "The virtual board's folder " + dir + " is in use by another process.";
}

BoardLink::BoardLink(const GlobalOptions& options) {
  UseToolFolder(state, options.toolFolder);
  if (options.family >= 0) {
    state.chipFamily = static_cast<uint32_t>(options.family);
    state.familyMode = options.family >= 1 ? 1 : 0;
  }
}

BoardLink::~BoardLink() {
  port.Close();
  state.connection.CloseVolumes();
}

Session::Session(const GlobalOptions& options, ConsoleLine& line, ConsolePrompt& prompt,
                 ConsoleProgress& progress, AbortEvent& abort)
    : options_(options),
      line_(line),
      prompt_(prompt),
      progress_(progress),
      abort_(abort),
      link_(options.link) {
  if (link_ == nullptr) {
    own_ = std::make_unique<BoardLink>(options);
    link_ = own_.get();
  }
}

Session::~Session() = default;

bool Session::Connect(bool verbose) {
  if (link_->checking) {
    link_->reached = true;
    return false;
  }
  if (link_->connected) return true;
  // The COM-port operations and the connection sequence stop on the abort
  // event; the disk operations run to their end unless the process ends.
  const bool decides = link_->decidesCtrlC;
  if (decides) InterruptWatch::SetRunStopsOnAbort(link_->bus != nullptr || options_.disk.empty());
  link_->connected = ConnectAny(verbose);
  if (decides) {
    InterruptWatch::SetRunStopsOnAbort(link_->connected && link_->state.connection.vcomConnected == 1);
  }
  return link_->connected;
}

bool Session::ConnectAny(bool verbose) {
  if (link_->bus != nullptr) return RunSequence(verbose);
  if (!options_.port.empty()) {
    ConnectionState& connection = link_->state.connection;
    connection.vcomConnected = 1;
    connection.massStorageConnected = 0;
    connection.portPath = options_.port;
    return true;
  }
  if (!options_.disk.empty()) return ConnectToDisk();
  return RunSequence(verbose);
}

bool Session::ConnectToDisk() {
  ToolState& state = link_->state;
  uint32_t error = 0;
  auto handle = MassStorageLink::OpenVolume(options_.disk, nullptr, &error);
  if (!handle) {
    if (error == win_error::kAccessDenied) line_.PrintText(kDiskInUse);
    line_.PrintText(kConnectFailed);
    return false;
  }
  state.connection.vcomConnected = 0;
  state.connection.massStorageConnected = 1;
  state.connection.volumes[0].path = options_.disk;
  state.connection.volumes[0].handle = std::move(handle);
  if (state.chipFamily >= 1 && state.chipFamily <= 3) {
    // The connection sequence reads it when it recognises a family board;
    // System Images need its boot header.
    std::string error;
    const int read = ReadChipSettings(state, ProductFile(state, kChipSettingsFile), &error);
    if (read == kChipSettingsRefused) line_.PrintText(error);
  }
  return true;
}

bool Session::RunSequence(bool verbose) {
  ToolState& state = link_->state;
  DeviceBus* bus = link_->bus;
  // A station's board comes with a bus that shows it alone.
  if (bus == nullptr && !options_.virtualBoard.empty()) {
    const auto request = ParseVirtualBoardOption(options_.virtualBoard);
    if (!request) return false;
    sim::BoardOptions boardOptions;
    boardOptions.kind = request->kind;
    boardOptions.stateDir = request->dir;
    link_->board = std::make_unique<sim::VirtualBoard>(boardOptions);
    if (link_->board->StateDirInUse()) {
      line_.PrintText(BoardFolderInUse(request->dir));
      return false;
    }
    link_->virtualBoard = link_->board.get();
    bus = &link_->board->Bus();
  } else if (bus == nullptr) {
    link_->ownBus = MakePlatformDeviceBus();
    bus = link_->ownBus.get();
  }
  sim::VirtualBoard* board = link_->virtualBoard;
  if (board != nullptr && !board->PtyPath().empty() && board->CurrentStage() == sim::Stage::kLoader) {
    // A kept board whose loader already runs behind its COM port: a real
    // board there would take no second loader either, so it is reached as
    // --port reaches one.
    state.connection.vcomConnected = 1;
    state.connection.massStorageConnected = 0;
    state.connection.portPath = board->PtyPath();
    return true;
  }
  ConsoleObserver observer(line_, verbose);
  ConnectWorker worker(state, *bus, *link_->clock, prompt_, observer);
  worker.SetAbortEvent(&abort_);
  const ConnectOutcome outcome = worker.Run();
  progress_.Finish();
  if (outcome == ConnectOutcome::kComPort || outcome == ConnectOutcome::kMassStorage) return true;
  if (!verbose && !observer.LastStatus().empty()) line_.PrintText(observer.LastStatus());
  line_.PrintText(kConnectFailed);
  return false;
}

OperationContext Session::Context() {
  OperationContext ctx(link_->state);
  ctx.progress = &progress_;
  ctx.prompt = &prompt_;
  ctx.abort = &abort_;
  ctx.port = &link_->port;
  ctx.clock = link_->clock;
  ctx.portName = link_->state.connection.portPath;
  ctx.verifyCopyPath = link_->verifyCopyPath;
  return ctx;
}

}  // namespace zorbel::cli
