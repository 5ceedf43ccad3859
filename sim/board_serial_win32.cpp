// On Windows the virtual board has no serial line to offer: its line is a
// pseudo-terminal, which the system lacks. A Windows build reaches the board
// through its disk, in process; the board logs why its port is missing.
#include "board_impl.h"

namespace zorbel::sim {

std::unique_ptr<SerialServer> StartSerialServer(VirtualBoard::Impl& /*board*/, std::string* error) {
  if (error != nullptr) *error = "no pseudo-terminals on Windows; use a disk board in process";
  return nullptr;
}

}  // namespace zorbel::sim
