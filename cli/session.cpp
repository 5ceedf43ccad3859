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

Session::Session(const GlobalOptions& options, ConsoleLine& line, ConsolePrompt& prompt,
                 ConsoleProgress& progress, AbortEvent& abort)
    : options_(options), line_(line), prompt_(prompt), progress_(progress), abort_(abort) {
  UseToolFolder(state_, options.toolFolder);
  if (options.family >= 0) {
    state_.chipFamily = static_cast<uint32_t>(options.family);
    state_.familyMode = options.family >= 1 ? 1 : 0;
  }
}

Session::~Session() {
  port_.Close();
  state_.connection.CloseVolumes();
}

bool Session::Connect(bool verbose) {
  // The COM-port operations and the connection sequence stop on the abort
  // event; the disk operations run to their end unless the process ends.
  InterruptWatch::SetRunStopsOnAbort(options_.disk.empty());
  const bool connected = ConnectAny(verbose);
  InterruptWatch::SetRunStopsOnAbort(connected && state_.connection.vcomConnected == 1);
  return connected;
}

bool Session::ConnectAny(bool verbose) {
  if (!options_.port.empty()) {
    state_.connection.vcomConnected = 1;
    state_.connection.massStorageConnected = 0;
    state_.connection.portPath = options_.port;
    return true;
  }
  if (!options_.disk.empty()) return ConnectToDisk();
  return RunSequence(verbose);
}

bool Session::ConnectToDisk() {
  uint32_t error = 0;
  auto handle = MassStorageLink::OpenVolume(options_.disk, nullptr, &error);
  if (!handle) {
    if (error == win_error::kAccessDenied) line_.PrintText(kDiskInUse);
    line_.PrintText(kConnectFailed);
    return false;
  }
  state_.connection.vcomConnected = 0;
  state_.connection.massStorageConnected = 1;
  state_.connection.volumes[0].path = options_.disk;
  state_.connection.volumes[0].handle = std::move(handle);
  if (state_.chipFamily >= 1 && state_.chipFamily <= 3) {
    // The connection sequence reads it when it recognises a family board;
    // System Images need its boot header.
    std::string error;
    const int read = ReadChipSettings(state_, ProductFile(state_, kChipSettingsFile), &error);
    if (read == kChipSettingsRefused) line_.PrintText(error);
  }
  return true;
}

bool Session::RunSequence(bool verbose) {
  DeviceBus* bus = nullptr;
  if (!options_.virtualBoard.empty()) {
    const auto request = ParseVirtualBoardOption(options_.virtualBoard);
    if (!request) return false;
    sim::BoardOptions boardOptions;
    boardOptions.kind = request->kind;
    boardOptions.stateDir = request->dir;
    board_ = std::make_unique<sim::VirtualBoard>(boardOptions);
    if (board_->StateDirInUse()) {
      line_.PrintText("The virtual board's folder " + request->dir + " is in use by another process.");
      return false;
    }
    if (request->kind == sim::BoardKind::kVcom && board_->CurrentStage() == sim::Stage::kLoader) {
      // A kept board whose loader already runs behind its COM port: a real
      // board there would take no second loader either, so it is reached as
      // --port reaches one.
      state_.connection.vcomConnected = 1;
      state_.connection.massStorageConnected = 0;
      state_.connection.portPath = board_->PtyPath();
      return true;
    }
    bus = &board_->Bus();
  } else {
    platformBus_ = MakePlatformDeviceBus();
    bus = platformBus_.get();
  }
  ConsoleObserver observer(line_, verbose);
  ConnectWorker worker(state_, *bus, clock_, prompt_, observer);
  worker.SetAbortEvent(&abort_);
  const ConnectOutcome outcome = worker.Run();
  progress_.Finish();
  if (outcome == ConnectOutcome::kComPort || outcome == ConnectOutcome::kMassStorage) return true;
  if (!verbose && !observer.LastStatus().empty()) line_.PrintText(observer.LastStatus());
  line_.PrintText(kConnectFailed);
  return false;
}

OperationContext Session::Context() {
  OperationContext ctx(state_);
  ctx.progress = &progress_;
  ctx.prompt = &prompt_;
  ctx.abort = &abort_;
  ctx.port = &port_;
  ctx.clock = &clock_;
  ctx.portName = state_.connection.portPath;
  return ctx;
}

}  // namespace zorbel::cli
