#include "link/connect_worker.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <vector>

#include "app/file_replace.h"
#include "app/abort_event.h"
#include "app/clock.h"
#include "app/progress_sink.h"
#include "app/system_error.h"
#include "app/text_fill.h"
#include "app/tool_folder.h"
#include "app/tool_settings.h"
#include "app/tool_state.h"
#include "app/user_prompt.h"
#include "link/device_bus.h"
#include "link/device_search.h"
#include "link/loader_download.h"
#include "link/serial_port.h"
#include "link/updatepmp.h"
#include "protocol/ms_operations.h"
#include "protocol/protocol_texts.h"
#include "protocol/records.h"

namespace zorbel {
namespace {

constexpr const char* kLoaderOpenError = "File Open error0 %s";
constexpr const char* kLoaderReopenError = "Open file failed in write file(1)";
constexpr const char* kLoaderTooShort = "The loader file %s is shorter than its 16-byte header.";
constexpr const char* kLoaderBadLength =
    "The loader file %s announces a first stage of %u bytes; it must be 1 to 65536 bytes.";

constexpr uint32_t kBootLoadAddress = 0xFFE76000u;
constexpr int kFamilyPasses = 4;
constexpr int kPortTries = 5;
constexpr int kBootDiskTries = 30;
constexpr int kLoaderDiskTries = 200;
constexpr int kNoBootDiskTries = 10;
constexpr int kQueryAttempts = 10;

constexpr uint32_t kPassWaitMs = 300;
constexpr uint32_t kTryWaitMs = 100;
constexpr uint32_t kIntermediateWaitMs = 200;
constexpr uint32_t kSettleWaitMs = 500;
constexpr uint32_t kFailureWaitMs = 1000;

// The family disks, in the order every pass searches them.
constexpr std::array<const char*, 6> kFamilyProducts = {"6E21", "6E22", "6E31", "6E32", "6E11", "6E12"};
constexpr const char* kOlderBoot = "B190";
constexpr const char* kOlderIntermediate = "B191";
constexpr const char* kOlderLoader = "B192";

constexpr const char* kOlderLoaderFile = "musb.bin";

const char* FamilyLoaderFile(uint32_t family) {
  switch (family) {
    case 2:
      return "Rast_musb.bin";
    case 3:
      return "Pilk_musb.bin";
    default:
      return "Quen_musb.bin";
  }
}

// The family's product ID of its boot disk or of its loader disk.
std::string FamilyProductId(uint32_t family, bool loaderDisk) {
  for (const char* id : kFamilyProducts) {
    const ProductInfo* info = FindProduct(id);
    if (info->chipFamily == family && info->loaderDisk == loaderDisk) return id;
  }
  return loaderDisk ? kFamilyProducts[0] : kFamilyProducts[1];
}

// The status patterns carry one "%d".
std::string WithNumber(const char* format, int number) {
  char text[128];
  std::snprintf(text, sizeof text, format, number);
  return text;
}

// Where the loader's progress goes when the window shows none.
class NoProgress final : public ProgressSink {
 public:
  void Progress(uint32_t, int) override {}
};

}  // namespace

struct ConnectWorker::Impl {
  Impl(ToolState& s, DeviceBus& b, Clock& c, UserPrompt& p, ConnectionObserver& o)
      : state(s), bus(b), clock(c), prompt(p), observer(o) {}

  ToolState& state;
  DeviceBus& bus;
  Clock& clock;
  UserPrompt& prompt;
  ConnectionObserver& observer;
  std::function<std::unique_ptr<SerialPort>()> makePort;
  const AbortEvent* abort = nullptr;

  ConnectionState& connection() { return state.connection; }

  void Status(const std::string& text) { observer.SetStatus(text); }
  // False when the attempt is to stop (the window is closing).
  bool Wait(uint32_t ms) {
    clock.SleepMs(ms);
    return abort == nullptr || !abort->IsSet();
  }
  bool Search(const std::string& productId) { return DetectDiskByProductId(bus, connection(), productId); }
  void Mark(const std::string& productId) { MarkDeviceInRegistry(bus, productId, prompt); }

  ConnectOutcome Stopped() {
    observer.EnableConnectButton(true);
    return ConnectOutcome::kAborted;
  }
  ConnectOutcome Failed(const char* text) {
    Status(text);
    observer.EnableConnectButton(true);
    return ConnectOutcome::kFailed;
  }
  // The failure after the loader disk never showed up.
  ConnectOutcome ConnectFailed() {
    Status(kStatusMassStorageFailed);
    if (!Wait(kFailureWaitMs)) return Stopped();
    return Failed(kStatusResetAndRetrySpaced);
  }
  // The closing steps: the selector rebuilt, the status text shown, and
  // after a pause the selector and the Connect button enabled.
  // The attempt has ended either way, so an abort does not cut this short.
  void Close(const std::string& finalStatus) {
    observer.RebuildSelector();
    observer.SetStatus(finalStatus);
    clock.SleepMs(kSettleWaitMs);
    observer.EnableSelector(true);
    observer.EnableConnectButton(true);
  }
  ConnectOutcome Connected() {
    connection().massStorageConnected = 1;
    Close(kStatusMassStorageConnected);
    return ConnectOutcome::kMassStorage;
  }

  // Searches up to `tries` times; found only on the last try counts as not
  // found. *stopped is set when the attempt was aborted.
  bool Poll(const std::string& productId, int tries, bool mark, uint32_t waitMs, const char* statusFormat,
            bool* stopped) {
    for (int attempt = 1; attempt <= tries; ++attempt) {
      if (mark) Mark(productId);
      const bool found = Search(productId);
      if (!Wait(waitMs)) {
        *stopped = true;
        return false;
      }
      Status(WithNumber(statusFormat, attempt));
      if (found) return attempt < tries;
    }
    return false;
  }

  ConnectOutcome Run();
  ConnectOutcome ComPortConnection(const FoundPort& port);
  ConnectOutcome FamilyDisk(bool loaderDisk);
  ConnectOutcome OlderChipDisk();
  bool DownloadMassStorageLoader();
};

ConnectOutcome ConnectWorker::Impl::Run() {
  observer.EnableConnectButton(false);
  observer.EnableSelector(false);
  connection().vcomConnected = 0;
  connection().massStorageConnected = 0;

  const ProductInfo* hit = nullptr;
  for (int pass = 1; pass <= kFamilyPasses && hit == nullptr; ++pass) {
    for (const char* id : kFamilyProducts) {
      if (Search(id)) {
        hit = FindProduct(id);
        break;
      }
    }
    if (hit != nullptr) break;
    Status(WithNumber(kStatusDetectMassStorageTry, pass));
    if (!Wait(kPassWaitMs)) return Stopped();
  }
  if (hit != nullptr) {
    state.chipFamily = hit->chipFamily;
    state.familyMode = 1;
    std::string error;
    if (ReadChipSettings(state, ProductFile(state, kChipSettingsFile), &error) ==
        kChipSettingsRefused) {
      // The earlier settings stay in force; the user learns why the file was not taken.
      prompt.ShowMessage(error);
    }
  } else {
    state.familyMode = 0;
  }

  Status(kStatusDetectVcom);
  FoundPort port;
  bool portFound = false;
  int attempt = 1;
  for (; attempt <= kPortTries; ++attempt) {
    portFound = FindVcomPort(bus, port);
    if (!Wait(kTryWaitMs)) return Stopped();
    if (portFound) break;
  }
  if (portFound && attempt < kPortTries) return ComPortConnection(port);

  connection().portPath.clear();
  connection().portLabel.clear();
  connection().vcomConnected = 0;
  connection().massStorageConnected = 0;
  Status(kStatusDetectMassStorage);
  state.loaderLoadAddress = kBootLoadAddress;
  if (state.familyMode == 1) return FamilyDisk(hit != nullptr && hit->loaderDisk);
  return OlderChipDisk();
}

ConnectOutcome ConnectWorker::Impl::ComPortConnection(const FoundPort& port) {
  connection().vcomConnected = 1;
  connection().massStorageConnected = 0;
  connection().portPath = port.path;
  connection().portLabel = port.label;

  NoProgress discard;
  ProgressSink* sink = observer.BeginLoaderDownload();
  std::unique_ptr<SerialPort> serial = makePort ? makePort() : std::make_unique<SerialPort>();
  const LoaderDownloadResult download = RunLoaderDownload(
      *serial, port.path, ProductFile(state, kComLoaderFile), prompt, sink != nullptr ? *sink : discard);
  observer.EndLoaderDownload();
  state.versionText = download.versionText;
  observer.SetVersionLabel(download.versionText);

  // A board kept plugged in since an earlier Connect runs its loader already
  // and takes the stream for commands: it answers the block-size question,
  // which the boot code never does.
  if (!download.ok && !LoaderAnswers(*serial, port.path)) {
    // Without its loader the board answers nothing over the port: this is
    // no connection, and only the SDRAM entry stays.
    connection().vcomConnected = 0;
    connection().portPath.clear();
    connection().portLabel.clear();
    Close(kStatusComLoaderFailed);
    return ConnectOutcome::kFailed;
  }
  Close(port.statusText);
  return ConnectOutcome::kComPort;
}

ConnectOutcome ConnectWorker::Impl::FamilyDisk(bool loaderDisk) {
  bool stopped = false;
  if (!loaderDisk) {
    const bool found = Poll(FamilyProductId(state.chipFamily, false), kBootDiskTries, false, kTryWaitMs,
                            kStatusDetectMassStorageTry, &stopped);
    if (stopped) return Stopped();
    if (!found) return Failed(kStatusResetAndRetry);
    if (!DownloadMassStorageLoader()) {
      Close(kStatusResetAndRetry);
      return ConnectOutcome::kFailed;
    }
  }
  connection().massStorageConnected = 0;
  Status(kStatusDownloadSuccessful);
  const bool found = Poll(FamilyProductId(state.chipFamily, true), kLoaderDiskTries, false, kTryWaitMs,
                          kStatusPleaseWaitLine, &stopped);
  if (stopped) return Stopped();
  if (!found) return ConnectFailed();
  const ConnectOutcome outcome = Connected();
  observer.ShowConnectedHelp();
  return outcome;
}

ConnectOutcome ConnectWorker::Impl::OlderChipDisk() {
  bool stopped = false;
  const bool bootFound =
      Poll(kOlderBoot, kBootDiskTries, true, kTryWaitMs, kStatusDetectMassStorageTry, &stopped);
  if (stopped) return Stopped();
  if (!bootFound) {
    Status(kStatusResetAndRetry);
    connection().massStorageConnected = 0;
    if (!Poll(kOlderLoader, kNoBootDiskTries, true, kTryWaitMs, kStatusPleaseWaitBroken, &stopped)) {
      return stopped ? Stopped() : ConnectFailed();
    }
    return Connected();
  }

  if (!DownloadMassStorageLoader()) {
    Close(kStatusResetAndRetry);
    return ConnectOutcome::kFailed;
  }
  connection().massStorageConnected = 0;
  if (!Poll(kOlderIntermediate, kLoaderDiskTries, true, kIntermediateWaitMs, kStatusPleaseWait, &stopped)) {
    return stopped ? Stopped() : Failed(kStatusErrorStatus2);
  }

  if (!Wait(kFailureWaitMs)) return Stopped();
  Status(kStatusDownloadToSdram);
  OperationContext ctx(state);
  ctx.prompt = &prompt;
  ctx.clock = &clock;
  ctx.filePath = ProductFile(state, kOlderLoaderFile);
  if (MsDownloadLoader(ctx, connection().loaderLength) != 1) {
    Status(kStatusDownloadToSdramFailed);
    if (!Wait(kFailureWaitMs)) return Stopped();
    return Failed(kStatusResetAndRetrySpaced);
  }
  Status(kStatusDownloadSuccessful);
  connection().massStorageConnected = 0;
  if (!Poll(kOlderLoader, kLoaderDiskTries, true, kTryWaitMs, kStatusPleaseWaitLine, &stopped)) {
    return stopped ? Stopped() : ConnectFailed();
  }
  return Connected();
}

bool ConnectWorker::Impl::DownloadMassStorageLoader() {
  ScsiTransport* handle = connection().deviceHandle();
  if (handle == nullptr) {
    prompt.ShowMessage(texts::kNoDeviceHandle);
    return false;
  }

  // The loader file is checked before anything reaches the board, so a file
  // that cannot be sent leaves the boot code untouched.
  const std::string path =
      ProductFile(state, state.familyMode == 1 ? FamilyLoaderFile(state.chipFamily) : kOlderLoaderFile);
  LoaderImageHeader header;
  {
    std::ifstream file;
    if (!OpenForReading(file, path, FileMode::kBinary)) {
      prompt.ShowMessage(FillText(kLoaderOpenError, path));
      return false;
    }
    std::array<uint8_t, kLoaderHeaderSize> bytes{};
    if (!file.read(reinterpret_cast<char*>(bytes.data()), bytes.size()) ||
        !ParseLoaderImageHeader(bytes, &header)) {
      prompt.ShowMessage(FillText(kLoaderTooShort, path));
      return false;
    }
  }
  if (header.length == 0 || header.length > kMaxLoaderPayload) {
    char text[512];
    std::snprintf(text, sizeof text, kLoaderBadLength, path.c_str(), static_cast<unsigned>(header.length));
    prompt.ShowMessage(text);
    return false;
  }

  std::vector<uint8_t> reply(MassStorageLink::kBootDataLength);
  bool queried = false;
  for (int attempt = 1; attempt <= kQueryAttempts && !queried; ++attempt) {
    queried = MassStorageLink::QueryBootStage(handle, 1, reply.data());
    if (!queried && attempt < kQueryAttempts) clock.SleepMs(kTryWaitMs);
  }
  if (!queried) {
    ReportSystemError(handle->LastError());
    return false;
  }

  if (state.familyMode == 1) {
    const ChipSettings& chip = state.chip;
    bool sent = true;
    if (state.chipFamily == 1 && chip.clockSkew) {
      sent = MassStorageLink::SendSettingFirstWord(handle, chip.dqsodsWord, reply.data()) &&
             MassStorageLink::SendSettingSecondWord(handle, chip.ckdqsdsWord, reply.data());
    } else if (state.chipFamily == 2 || state.chipFamily == 3) {
      for (const RegisterWrite& reg : chip.registers) {
        sent = MassStorageLink::SendSettingFirstWord(handle, reg.address, reply.data()) &&
               MassStorageLink::SendSettingSecondWord(handle, reg.value, reply.data());
        if (!sent) break;
      }
    }
    if (!sent) {
      ReportSystemError(handle->LastError());
      return false;
    }
  }

  state.versionText = header.VersionText();
  observer.SetVersionLabel(state.versionText);
  if (state.familyMode == 1) state.loaderLoadAddress = header.address;
  connection().loaderLength = header.length;

  if (!MassStorageLink::SetLoadAddress(handle, state.loaderLoadAddress, reply.data())) {
    ReportSystemError(handle->LastError());
    return false;
  }

  std::vector<uint8_t> stage(kMaxLoaderPayload, 0);
  {
    std::ifstream file;
    if (!OpenForReading(file, path, FileMode::kBinary)) {
      prompt.ShowMessage(kLoaderReopenError);
      return false;
    }
    file.seekg(static_cast<std::streamoff>(kLoaderHeaderSize));
    file.read(reinterpret_cast<char*>(stage.data()), static_cast<std::streamsize>(stage.size()));
  }
  if (!MassStorageLink::WriteFirstStage(handle, stage.data(), header.length)) {
    ReportSystemError(handle->LastError());
    return false;
  }
  std::array<uint8_t, MassStorageLink::kRunDataLength> runReply{};
  MassStorageLink::RunLoadedCode(handle, state.familyMode, runReply.data());
  return true;
}

ConnectWorker::ConnectWorker(ToolState& state, DeviceBus& bus, Clock& clock, UserPrompt& prompt,
                             ConnectionObserver& observer)
    : impl_(std::make_unique<Impl>(state, bus, clock, prompt, observer)) {}

ConnectWorker::~ConnectWorker() = default;

void ConnectWorker::SetSerialPortFactory(std::function<std::unique_ptr<SerialPort>()> factory) {
  impl_->makePort = std::move(factory);
}

void ConnectWorker::SetAbortEvent(const AbortEvent* abort) { impl_->abort = abort; }

ConnectOutcome ConnectWorker::Run() { return impl_->Run(); }

bool ConnectWorker::DownloadMassStorageLoader() { return impl_->DownloadMassStorageLoader(); }

}  // namespace zorbel
