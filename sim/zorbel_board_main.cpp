// One virtual board in a process of its own, already in its loader stage:
//   zorbel-board --kind vcom|older|quen|rast|pilk [--dir DIR] --pty-link PATH --socket PATH
//   zorbel-board --version
// It serves the pseudo-terminal (symlinked at PATH) and the disk socket until
// it is killed.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/guarded_main.h"
#include "app/version.h"
#include "virtual_board.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

int Usage() {
  std::fprintf(stderr,
               "usage: zorbel-board --kind vcom|older|quen|rast|pilk [--dir DIR] [--pty-link PATH] "
               "[--socket PATH]\n       zorbel-board --version\n");
  return 2;
}

// A path the board may put its link or socket at: free, or a link or socket
// of an earlier run. Anything else is the user's file and stays.
bool MayReplace(const std::string& path) {
  std::error_code ec;
  const auto type = std::filesystem::symlink_status(path, ec).type();
  return type == std::filesystem::file_type::not_found || type == std::filesystem::file_type::symlink ||
         type == std::filesystem::file_type::socket;
}

int Run(int argc, char** argv) {
  using namespace zorbel::sim;
  BoardOptions options;
  std::string kind, ptyLink, socketPath;
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("zorbel-board %s\n", zorbel::kToolVersion);
    return 0;
  }
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
  for (const std::string* path : {&ptyLink, &socketPath}) {
    if (!path->empty() && !MayReplace(*path)) {
      std::fprintf(stderr, "zorbel-board: %s exists and is not a link or socket of a board; it is left alone\n",
                   path->c_str());
      return 1;
    }
  }
  VirtualBoard board(options);
  if (board.StateDirInUse()) {
    std::fprintf(stderr, "zorbel-board: the board folder %s is in use by another board process\n",
                 options.stateDir.c_str());
    return 1;
  }

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
  std::error_code ec;
  if (!ptyLink.empty() && std::filesystem::is_symlink(std::filesystem::symlink_status(ptyLink, ec))) {
    std::filesystem::remove(ptyLink, ec);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return zorbel::RunGuarded("zorbel-board", [&] { return Run(argc, argv); });
}
