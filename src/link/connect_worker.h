#pragma once
// The connection sequence behind the Connect button: find the board as a
// family disk, a COM port or the older chip's disk, get its loader running,
// and leave ConnectionState saying how it is reached. It runs on the caller's
// thread (the window starts it on a thread of its own) and reports through a
// ConnectionObserver, so the window and the command line both drive it.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zorbel {

class AbortEvent;
class Clock;
class DeviceBus;
class ProgressSink;
class SerialPort;
class UserPrompt;
struct ToolState;

// What the main window shows of an attempt. Called on the worker's thread.
class ConnectionObserver {
 public:
  virtual ~ConnectionObserver() = default;
  // Replaces the status line's text.
  virtual void SetStatus(const std::string& text) = 0;
  virtual void SetVersionLabel(const std::string& text) = 0;
  // A mass-storage connection succeeded: the help pane shows its second text.
  virtual void ShowConnectedHelp() = 0;
  virtual void EnableConnectButton(bool enabled) = 0;
  virtual void EnableSelector(bool enabled) = 0;
  // Rebuild the medium selector from the ToolState (see app/selector.h).
  virtual void RebuildSelector() = 0;
  // The COM-port loader download starts: the window shows its
  // "Auto Downloading..." dialog and returns where its progress goes (null:
  // nowhere). The dialog closes on kLoaderDoneMessage or at the latest on
  // EndLoaderDownload.
  virtual ProgressSink* BeginLoaderDownload() { return nullptr; }
  virtual void EndLoaderDownload() {}
};

enum class ConnectOutcome {
  kComPort,      // the loader runs behind the COM port: vcomConnected 1
  kMassStorage,  // the loader's disk is open: massStorageConnected 1
  kFailed,
  kAborted,  // the abort event was set during a wait
};

// Status texts of the sequence.
inline constexpr const char* kStatusDetectMassStorageTry = "Detect Mass Storage...(%d)\n";
inline constexpr const char* kStatusDetectVcom = "Detect VCOM... ";
inline constexpr const char* kStatusDetectMassStorage = "Detect Mass Storage ... ";
inline constexpr const char* kStatusResetAndRetry = "Please reset chip and retry!";
inline constexpr const char* kStatusResetAndRetrySpaced = "Please reset chip and retry !";
inline constexpr const char* kStatusDownloadSuccessful = "Download Successful...!";
inline constexpr const char* kStatusPleaseWaitLine = "Please wait...(%d) !\n";
inline constexpr const char* kStatusPleaseWait = "Please wait...(%d) !";
inline constexpr const char* kStatusPleaseWaitBroken = "Please wait...(%d)\n !";
inline constexpr const char* kStatusMassStorageConnected = "Mass Storage Connected !";
inline constexpr const char* kStatusMassStorageFailed = "Mass Storage Connect Failed !";
inline constexpr const char* kStatusErrorStatus2 = "ERROR Status(2) !";
inline constexpr const char* kStatusDownloadToSdram = "Download code to SDRAM...!";
inline constexpr const char* kStatusDownloadToSdramFailed = "Download code to SDRAM...Failed!";
inline constexpr const char* kStatusComLoaderFailed = "Loader download over the COM port failed !";

class ConnectWorker {
 public:
  ConnectWorker(ToolState& state, DeviceBus& bus, Clock& clock, UserPrompt& prompt,
                ConnectionObserver& observer);
  ~ConnectWorker();
  ConnectWorker(const ConnectWorker&) = delete;
  ConnectWorker& operator=(const ConnectWorker&) = delete;

  // The port object the COM-port loader download uses; a plain SerialPort
  // when not set.
  void SetSerialPortFactory(std::function<std::unique_ptr<SerialPort>()> factory);
  // Optional: when set, the attempt ends at its next wait (window closing).
  void SetAbortEvent(const AbortEvent* abort);

  // One connection attempt, from disabling the Connect button to enabling it.
  ConnectOutcome Run();

  // The first loader stage over the boot disk: boot-stage query, chip
  // settings with 'R'/'S', load address, the loader with 'r', run.
  bool DownloadMassStorageLoader();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zorbel
