// The connection sequence against the virtual board, in virtual time: every
// status text in order, what the board received, and what the connection
// state says afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <ranges>
#include <string>
#include <thread>
#include <vector>

#include "app/clock.h"
#include "app/progress_sink.h"
#include "app/test_table.h"
#include "app/test_temp_folder.h"
#include "app/tool_state.h"
#include "app/user_prompt.h"
#include "link/connect_worker.h"
#include "link/device_bus.h"
#include "standin_files.h"
#include "virtual_board.h"

namespace zorbel::connect_test {

using sim::BoardKind;

// Everything the main window would be told, in order.
class RecordingObserver final : public ConnectionObserver {
 public:
  explicit RecordingObserver(Clock& clock) : clock_(clock) {}
  void SetStatus(const std::string& text) override { Add("status:" + text); }
  void SetVersionLabel(const std::string& text) override { Add("version:" + text); }
  void ShowConnectedHelp() override { Add("help"); }
  void EnableConnectButton(bool enabled) override { Add(enabled ? "connect:on" : "connect:off"); }
  void EnableSelector(bool enabled) override { Add(enabled ? "selector:on" : "selector:off"); }
  void RebuildSelector() override { Add("rebuild"); }
  ProgressSink* BeginLoaderDownload() override {
    downloadStartMs = clock_.NowMs();
    Add("download:begin");
    return &progress;
  }
  void EndLoaderDownload() override { Add("download:end"); }

  std::vector<std::string> events;
  RecordingProgress progress;
  uint64_t downloadStartMs = 0;

 private:
  void Add(std::string e) { events.push_back(std::move(e)); }
  Clock& clock_;
};

// Passes every command on to the board's disk and keeps its block.
class RecordingTransport final : public ScsiTransport {
 public:
  RecordingTransport(std::unique_ptr<ScsiTransport> inner, std::vector<std::array<uint8_t, 16>>& log)
      : inner_(std::move(inner)), log_(log) {}
  bool Execute(const ScsiCommand& c) override {
    log_.push_back(c.cdb);
    return inner_->Execute(c);
  }
  uint32_t LastError() const override { return inner_->LastError(); }

 private:
  std::unique_ptr<ScsiTransport> inner_;
  std::vector<std::array<uint8_t, 16>>& log_;
};

class RecordingBus final : public ForwardingDeviceBus {
 public:
  explicit RecordingBus(DeviceBus& inner) : ForwardingDeviceBus(inner) {}
  std::unique_ptr<ScsiTransport> OpenVolume(const std::string& path, uint32_t* error) override {
    auto t = ForwardingDeviceBus::OpenVolume(path, error);
    if (!t) return t;
    return std::make_unique<RecordingTransport>(std::move(t), sent);
  }
  std::vector<std::array<uint8_t, 16>> sent;
};

// A bus of made-up ports and volumes: a volume opens unless its path says
// "dead", and the transports it gives count themselves.
class CountingTransport final : public ScsiTransport {
 public:
  CountingTransport(int& live, std::string path) : live_(live), path_(std::move(path)) { ++live_; }
  ~CountingTransport() override { --live_; }
  bool Execute(const ScsiCommand&) override { return true; }
  uint32_t LastError() const override { return 0; }
  const std::string& Path() const { return path_; }

 private:
  int& live_;
  std::string path_;
};

class ListedBus final : public DeviceBus {
 public:
  bool EnumerateMcuPorts(std::vector<McuPort>& ports) override {
    ports = this->ports;
    return enumerates;
  }
  std::vector<std::string> FindVolumesForDevice(const std::string& deviceId) override {
    auto it = volumes.find(deviceId);
    return it == volumes.end() ? std::vector<std::string>{} : it->second;
  }
  std::unique_ptr<ScsiTransport> OpenVolume(const std::string& path, uint32_t* error) override {
    if (path.find("dead") != std::string::npos) {
      if (error) *error = 2;
      return nullptr;
    }
    return std::make_unique<CountingTransport>(live, path);
  }
  void MarkDeviceInRegistry(const std::string&, const std::string&, UserPrompt&) override {}

  bool enumerates = true;
  std::vector<McuPort> ports;
  std::map<std::string, std::vector<std::string>> volumes;
  int live = 0;
};

// Cells split at a separator; an empty cell has no parts.
inline std::vector<std::string> Split(const std::string& cell, char separator) {
  std::vector<std::string> out;
  for (const auto part : std::views::split(cell, separator)) out.emplace_back(part.begin(), part.end());
  return out;
}

// The observer's events a scenario of link/connect_events.tsv expects, its
// repeats counted out and the blank filled in.
inline std::vector<std::string> ExpectedEvents(const std::string& scenario, const std::string& fill = "") {
  std::vector<std::string> out;
  for (const auto& row : testing::LoadTable("link/connect_events.tsv")) {
    if (row[0] != scenario) continue;
    for (int i = 1; i <= (row.size() > 2 ? std::stoi(row[2]) : 1); ++i) {
      std::string text = row[1];
      if (const size_t at = text.find("%d"); at != std::string::npos) text.replace(at, 2, std::to_string(i));
      if (const size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, fill);
      out.push_back(text);
    }
  }
  return out;
}

// The board's serial side stores the loader on its own thread, possibly just
// after its last acknowledgement reached the tool.
inline void AwaitLoaderStage(sim::VirtualBoard& board) {
  for (int i = 0; i < 5000 && board.CurrentStage() != sim::Stage::kLoader; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Names each instance of a test over table rows after the row's first cell.
inline constexpr auto RowName = [](const auto& info) { return info.param[0]; };

class ConnectFixture : public ::testing::Test {
 protected:
  ConnectFixture() { state.moduleDirectory = dir_.Folder(); }

  template <typename Bytes>
  void WriteFile(const std::string& name, const Bytes& bytes) {
    testing::WriteBytes(dir_.File(name), bytes);
  }

  std::unique_ptr<sim::VirtualBoard> MakeBoard(BoardKind kind, bool loaderStage = false,
                                               bool checkTag = true) {
    sim::BoardOptions options;
    options.kind = kind;
    options.clock = &clock;
    options.startInLoaderStage = loaderStage;
    options.checkLoaderTag = checkTag;
    return std::make_unique<sim::VirtualBoard>(options);
  }

  ConnectOutcome Run(DeviceBus& bus) {
    ConnectWorker worker(state, bus, clock, prompt, observer);
    return worker.Run();
  }

  FakeClock clock;
  ToolState state;
  RecordingPrompt prompt;
  RecordingObserver observer{clock};
  testing::TempFolder dir_;
};

}  // namespace zorbel::connect_test
