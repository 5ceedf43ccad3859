// On Windows the virtual board serves no socket: the tool's Windows build
// reaches disks through volume handles, not the socket framing, so the
// board is used in process there; ServeSocket reports false with this reason.
#include "board_impl.h"

namespace zorbel::sim {

std::unique_ptr<SocketServer> StartSocketServer(VirtualBoard::Impl& /*board*/, const std::string& path,
                                                std::string* error) {
  if (error != nullptr) *error = "cannot serve " + path + ": no socket server on Windows";
  return nullptr;
}

}  // namespace zorbel::sim
