// How long one disk search and one port search take over a sysfs tree of
// many USB devices (the connection polls every 100 ms, so a search must stay
// far below that), and the COM-port loader download against the virtual board.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/progress_sink.h"
#include "app/tool_state.h"
#include "app/user_prompt.h"
#include "link/device_bus_linux.h"
#include "link/device_search.h"
#include "link/loader_download.h"
#include "link/serial_port.h"
#include "standin_files.h"
#include "virtual_board.h"

namespace fs = std::filesystem;

namespace {

void WriteText(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text << "\n";
}

// devices USB devices, each with an interface, a tty and a disk; the last one is the board.
fs::path MakeTree(int devices) {
  const fs::path root = fs::temp_directory_path() / ("zorbel-bench-sysfs-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "bus" / "usb" / "devices");
  for (int i = 0; i < devices; ++i) {
    const std::string name = "1-" + std::to_string(i + 1);
    const fs::path dir = root / "devices" / "usb1" / name;
    const bool board = i == devices - 1;
    WriteText(dir / "idVendor", board ? "7c3a" : "1234");
    WriteText(dir / "idProduct", board ? "6e21" : "5678");
    WriteText(dir / "product", "Device " + name);
    const fs::path intf = dir / (name + ":1.0");
    WriteText(intf / "interface", board ? "Velmora ARM 926-Based MCU Ports" : "Other");
    WriteText(intf / "tty" / ("ttyACM" + std::to_string(i)) / "dev", "166:0");
    WriteText(intf / "host0" / "target0:0:0" / "0:0:0:0" / "block" / ("sd" + std::to_string(i)) / "dev",
              "8:0");
    fs::create_directory_symlink(dir, root / "bus" / "usb" / "devices" / name);
    fs::create_directory_symlink(root / "devices", dir / "subsystem");
  }
  return root;
}

void BM_SysfsDiskSearch(benchmark::State& state) {
  const fs::path root = MakeTree(static_cast<int>(state.range(0)));
  auto bus = zorbel::MakeSysfsDeviceBus(root.string(), (root / "dev").string());
  for (auto _ : state) {
    auto volumes = bus->FindVolumesForDevice("USB\\VID_7C3A&PID_6E21");
    benchmark::DoNotOptimize(volumes);
  }
  fs::remove_all(root);
}
BENCHMARK(BM_SysfsDiskSearch)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond);

void BM_SysfsPortSearch(benchmark::State& state) {
  const fs::path root = MakeTree(static_cast<int>(state.range(0)));
  auto bus = zorbel::MakeSysfsDeviceBus(root.string(), (root / "dev").string());
  for (auto _ : state) {
    zorbel::FoundPort port;
    benchmark::DoNotOptimize(zorbel::FindVcomPort(*bus, port));
  }
  fs::remove_all(root);
}
BENCHMARK(BM_SysfsPortSearch)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond);

// The whole "xusb.bin" stream (start record, 4096-byte chunks and their
// acknowledgements) over a pseudo-terminal; bytes/s is the loader's length.
void BM_ComLoaderDownload(benchmark::State& state) {
  const uint32_t length = static_cast<uint32_t>(state.range(0));
  const fs::path file =
      fs::temp_directory_path() / ("zorbel-bench-xusb-" + std::to_string(::getpid()) + ".bin");
  {
    const auto bytes = zorbel::sim::MakeSerialLoader(length - 16);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  zorbel::RecordingPrompt prompt;
  for (auto _ : state) {
    state.PauseTiming();
    zorbel::sim::BoardOptions options;
    options.kind = zorbel::sim::BoardKind::kVcom;
    zorbel::sim::VirtualBoard board(options);
    zorbel::SerialPort port;
    zorbel::RecordingProgress progress;
    state.ResumeTiming();
    const auto result = zorbel::DownloadComLoader(port, board.PtyPath(), file.string(), prompt, progress);
    if (!result.ok) state.SkipWithError("download failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * length);
  fs::remove(file);
}
BENCHMARK(BM_ComLoaderDownload)->Arg(20016)->Arg(262144)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
