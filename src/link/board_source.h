#pragma once
// Where a production station finds its boards. A board is told apart by its
// USB location, the chain of hub ports it is plugged into: it keeps that
// location when it re-enumerates with the loader's product ID, and two
// identical boards on two ports are two boards.
#include <memory>
#include <string>
#include <vector>

#include "link/device_bus.h"

namespace zorbel {

class BoardSource {
 public:
  virtual ~BoardSource() = default;
  // The locations at which a board (its MCU port or its disk) shows now.
  virtual std::vector<std::string> Locations() = 0;
  // A discovery that sees only what is plugged in at location, for that
  // board's own connection sequence.
  virtual std::unique_ptr<DeviceBus> BusAt(const std::string& location) = 0;
};

// The platform's; null where boards cannot be told apart by location.
std::unique_ptr<BoardSource> MakePlatformBoardSource();

}  // namespace zorbel
