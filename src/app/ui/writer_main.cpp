// zorbel-writer: the window. With --virtual-board=KIND[:DIR] the window finds
// an in-process virtual board instead of USB (KIND: vcom, older, quen, rast,
// pilk; DIR keeps the board's flash between runs). --version prints the
// version without needing a display.
//
// The tool's folder (app/tool_folder.h) becomes the working folder: the
// settings files "1.txt", "t.bin" and "t0.bin" are found and written there
// whatever folder a desktop launcher starts the window in.
#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/clock.h"
#include "app/guarded_main.h"
#include "app/paths.h"
#include "app/tool_folder.h"
#include "app/tool_state.h"
#include "app/ui/main_window.h"
#include "app/user_prompt.h"
#include "app/version.h"
#include "link/device_bus.h"
#include "virtual_board.h"

namespace {

constexpr const char* kVirtualBoardOption = "--virtual-board=";
constexpr const char* kDesktopEntry = "org.zorbel.flashwriter";

struct VirtualBoardRequest {
  zorbel::sim::BoardKind kind;
  std::string dir;
};

// Empty when the option is absent; false in ok when it is malformed.
std::optional<VirtualBoardRequest> ParseVirtualBoard(int argc, char** argv, bool& ok) {
  ok = true;
  const std::string prefix = kVirtualBoardOption;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind(prefix, 0) != 0) continue;
    const std::string value = arg.substr(prefix.size());
    const size_t colon = value.find(':');
    const auto kind = zorbel::sim::ParseKind(value.substr(0, colon));
    if (!kind) {
      ok = false;
      return std::nullopt;
    }
    return VirtualBoardRequest{*kind, colon == std::string::npos ? std::string() : value.substr(colon + 1)};
  }
  return std::nullopt;
}

bool AsksForVersion(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) return true;
  }
  return false;
}

int Run(int argc, char** argv) {
  if (AsksForVersion(argc, argv)) {
    std::printf("zorbel-writer %s\n", zorbel::kToolVersion);
    return 0;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(zorbel::kAppTitle));
  QGuiApplication::setDesktopFileName(kDesktopEntry);

  bool ok = true;
  const auto request = ParseVirtualBoard(argc, argv, ok);
  if (!ok) {
    std::fprintf(stderr,
                 "zorbel-writer: --virtual-board=KIND[:DIR], KIND one of vcom, older, quen, rast, pilk\n");
    return 2;
  }

  zorbel::ToolState state;
  const zorbel::ToolFolder folder =
      zorbel::FindToolFolder(zorbel::ProgramToolFolderRequest({}, request.has_value()));
  std::error_code ec;
  if (folder.error.empty()) std::filesystem::current_path(zorbel::Utf8Path(folder.path), ec);
  if (!folder.error.empty() || ec) {
    const std::string text = !folder.error.empty() ? folder.error : folder.path + ": " + ec.message();
    QMessageBox::critical(nullptr, QString::fromUtf8(zorbel::kAppTitle), QString::fromStdString(text));
    return 1;
  }
  zorbel::UseToolFolder(state, folder);
  zorbel::RealClock clock;

  std::unique_ptr<zorbel::sim::VirtualBoard> board;
  std::unique_ptr<zorbel::DeviceBus> platformBus;
  zorbel::DeviceBus* bus = nullptr;
  if (request) {
    zorbel::sim::BoardOptions options;
    options.kind = request->kind;
    options.stateDir = request->dir;
    board = std::make_unique<zorbel::sim::VirtualBoard>(options);
    if (board->StateDirInUse()) {
      std::fprintf(stderr, "zorbel-writer: the virtual board's folder %s is in use by another process\n",
                   request->dir.c_str());
      return 1;
    }
    bus = &board->Bus();
  } else {
    platformBus = zorbel::MakePlatformDeviceBus();
    bus = platformBus.get();
  }

  zorbel::MainWindow window(state, *bus, clock);
  window.exec();
  // Start-up returns false: the process ends with the window.
  return 0;
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// In the sanitizer build the leak check scans the whole heap (Qt, the font
// cache with its CJK faces) after the window has gone, which kept the
// process alive for a second or more after Exit. The widget tests run this
// window with the check on; ASAN_OPTIONS=detect_leaks=1 turns it on here too.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }
#endif

int main(int argc, char** argv) {
  return zorbel::RunGuarded("zorbel-writer", [&] { return Run(argc, argv); });
}
