#pragma once
// A serial port whose default settings can be refused one at a time, to see
// what Open leaves behind when one of them fails.
#include <functional>
#include <vector>

#include "link/serial_port.h"

namespace zorbel::testing {

// Refuses the default setting in slot refuse of Open's sequence.
class RefusingPort : public SerialPort {
 public:
  int refuse = -1;
  std::vector<int> calls;

  uint32_t SetMask(uint32_t mask) override {
    return Step(0, [&] { return SerialPort::SetMask(mask); });
  }
  uint32_t Setup(uint32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits) override {
    return Step(1, [&] { return SerialPort::Setup(baud, dataBits, parity, stopBits); });
  }
  uint32_t SetupReadTimeouts(int mode, uint32_t ms) override {
    return Step(2, [&] { return SerialPort::SetupReadTimeouts(mode, ms); });
  }
  uint32_t SetupHandshaking(int mode) override {
    return Step(3, [&] { return SerialPort::SetupHandshaking(mode); });
  }

 private:
  uint32_t Step(int slot, const std::function<uint32_t()>& call) {
    calls.push_back(slot);
    return slot == refuse ? win_error::kGenFailure : call();
  }
};

}  // namespace zorbel::testing
