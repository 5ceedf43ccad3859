// A serial port object that is not open, the same on every platform.
#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "app/user_prompt.h"
#include "link/serial_port.h"

namespace zorbel {
namespace {

TEST(SerialPortClosed, EveryCallButOpenAndCloseFailsWithInvalidHandle) {
  SerialPort port;
  char buf[4] = {};
  uint32_t count = 77;
  SerialOverlapped ov{5, 5, true};
  const std::pair<const char*, std::function<uint32_t()>> calls[] = {
      {"Setup", [&] { return port.Setup(9600, 8, 0, 0); }},
      {"SetEventChar", [&] { return port.SetEventChar('\n', true); }},
      {"SetMask", [&] { return port.SetMask(1); }},
      {"WaitEvent", [&] { return port.WaitEvent(nullptr, 10); }},
      {"SetupHandshaking", [&] { return port.SetupHandshaking(0); }},
      {"SetupReadTimeouts", [&] { return port.SetupReadTimeouts(1, 10); }},
      {"Write", [&] { return port.Write(buf, 4, &count, nullptr, 10); }},
      {"Write text", [&] { return port.Write("ab", &count, nullptr, 10); }},
      {"Read", [&] { return port.Read(buf, 4, &count, &ov, 10); }},
  };
  for (const auto& [name, call] : calls) {
    SCOPED_TRACE(name);
    count = 77;
    EXPECT_EQ(call(), win_error::kInvalidHandle);
    EXPECT_EQ(port.LastError(), win_error::kInvalidHandle);
  }
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(ov.pending);
  EXPECT_EQ(ov.error, win_error::kInvalidHandle);
  EXPECT_EQ(
      std::vector<int>({port.GetBaudrate(), port.GetDataBits(), port.GetParity(), port.GetStopBits(),
                        port.GetHandshaking(), static_cast<int>(port.GetEventMask()), port.GetEventChar()}),
      std::vector<int>({-1, -1, -1, -1, -1, 0, 0}));
  EXPECT_EQ(port.Close(), win_error::kSuccess);
  RecordingPrompt prompt;
  EXPECT_EQ(port.ChooseMethod(3, &prompt), 0);
  EXPECT_EQ(port.LastError(), win_error::kInvalidHandle);
  EXPECT_EQ(prompt.Messages().size(), 1u);
}

}  // namespace
}  // namespace zorbel
