// One virtual board in a process of its own, already in its loader stage:
//   zorbel-board --kind vcom|older|quen|rast|pilk [--dir DIR] --pty-link PATH --socket PATH
// It serves the pseudo-terminal (symlinked at PATH) and the disk socket until
// it is killed.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "virtual_board.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

int Usage() {
  std::fprintf(stderr,
               "usage: zorbel-board --kind vcom|older|quen|rast|pilk [--dir DIR] [--pty-link PATH] "
               "[--socket PATH]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zorbel::sim;
  BoardOptions options;
  std::string kind, ptyLink, socketPath;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (i + 1 >= argc) return Usage();
    std::string value = argv[++i];
    if (arg == "--kind") {
      kind = value;
    } else if (arg == "--dir") {
      options.stateDir = value;
    } else if (arg == "--pty-link") {
      ptyLink = value;
    } else if (arg == "--socket") {
      socketPath = value;
    } else {
      return Usage();
    }
  }
  auto parsed = ParseKind(kind);
  if (!parsed) return Usage();
  options.kind = *parsed;
  options.startInLoaderStage = true;

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  VirtualBoard board(options);

  if (!ptyLink.empty()) {
    if (board.PtyPath().empty()) {
      std::fprintf(stderr, "zorbel-board: a %s board has no COM port\n", kind.c_str());
      return 1;
    }
    std::error_code ec;
    std::filesystem::remove(ptyLink, ec);
    std::filesystem::create_symlink(board.PtyPath(), ptyLink, ec);
    if (ec) {
      std::fprintf(stderr, "zorbel-board: cannot link %s: %s\n", ptyLink.c_str(), ec.message().c_str());
      return 1;
    }
  }
  if (!socketPath.empty() && !board.ServeSocket(socketPath)) {
    std::fprintf(stderr, "zorbel-board: cannot serve %s\n", socketPath.c_str());
    return 1;
  }
  std::printf("zorbel-board: %s board ready%s%s\n", kind.c_str(), board.PtyPath().empty() ? "" : " on ",
              board.PtyPath().c_str());
  std::fflush(stdout);

  size_t reported = 0;
  while (!g_stop) {
    usleep(100 * 1000);
    auto errors = board.ProtocolErrors();
    for (; reported < errors.size(); ++reported)
      std::fprintf(stderr, "zorbel-board: %s\n", errors[reported].c_str());
  }
  if (!ptyLink.empty()) {
    std::error_code ec;
    std::filesystem::remove(ptyLink, ec);
  }
  return 0;
}
