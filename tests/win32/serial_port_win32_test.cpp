// The Win32 serial port's codes where no board is needed: a closed port, a
// path that is not there, a file that is no port. Under Wine, drive Z: leads
// to the host's pseudo-terminal multiplexer, and each opening of it is a
// serial line of its own whose far end echoes what is written; the
// SerialPortWineLine tests run there and skip elsewhere.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/user_prompt.h"
#include "link/serial_port.h"
#include "link/serial_port_common.h"
#include "link/refusing_port.h"
#include "link/serial_port_win32.h"
#include "win32/temp_folder.h"

namespace zorbel {
namespace {

using testing::RefusingPort;

TEST(SerialPortWin32, ChooseMethodOnAClosedPortShowsTheMessage) {
  SerialPort port;
  RecordingPrompt prompt;
  EXPECT_EQ(port.ChooseMethod(3, &prompt), 0);
  EXPECT_EQ(port.LastError(), win_error::kInvalidHandle);
  EXPECT_EQ(prompt.Messages(), std::vector<std::string>{"ChooseMethod - Unable to set flash method"});
}

TEST(SerialPortWin32, OpenFailuresKeepThePortClosed) {
  test::TempFolder folder;
  const std::string file = folder.EmptyFile("not a port.bin");
  struct Case {
    std::string path;
    uint32_t error;  // 0: any failure
  };
  const Case cases[] = {
      {"\\\\.\\COM250", ERROR_FILE_NOT_FOUND},
      {folder.Path() + "\\absent", ERROR_FILE_NOT_FOUND},
      {file, 0},  // opens, but the queue sizes cannot be set on a file
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    SerialPort port;
    const uint32_t error = port.Open(c.path, 2048, 2048);
    if (c.error != 0) {
      EXPECT_EQ(error, c.error);
    } else {
      EXPECT_NE(error, win_error::kSuccess);
    }
    EXPECT_EQ(port.LastError(), error);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Setup(9600, 8, 0, 0), win_error::kInvalidHandle);
  }
}

// The shared flag-word logic edits the control block through this word; the
// bit fields must land where the shared constants say.
TEST(SerialPortWin32, FlagWordMatchesTheControlBlockFields) {
  using namespace serial_common;
  struct Case {
    std::function<void(DCB&)> set;
    uint32_t word;
  };
  const Case cases[] = {
      {[](DCB& d) { d.fBinary = 1; }, dcb::kBinary},
      {[](DCB& d) { d.fParity = 1; }, dcb::kParity},
      {[](DCB& d) { d.fOutxCtsFlow = 1; }, dcb::kOutxCtsFlow},
      {[](DCB& d) { d.fOutxDsrFlow = 1; }, dcb::kOutxDsrFlow},
      {[](DCB& d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; }, dcb::kDtrControlHandshake},
      {[](DCB& d) { d.fDtrControl = DTR_CONTROL_ENABLE; }, dcb::kDtrControlEnable},
      {[](DCB& d) { d.fOutX = 1; }, dcb::kOutX},
      {[](DCB& d) { d.fInX = 1; }, dcb::kInX},
      {[](DCB& d) { d.fRtsControl = RTS_CONTROL_HANDSHAKE; }, dcb::kRtsControlHandshake},
      {[](DCB& d) { d.fRtsControl = RTS_CONTROL_ENABLE; }, dcb::kRtsControlEnable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    DCB block{};
    c.set(block);
    EXPECT_EQ(serial_win32::FlagWord(block), c.word);
    DCB back{};
    serial_win32::SetFlagWord(back, c.word);
    EXPECT_EQ(std::memcmp(&back, &block, sizeof block), 0);
  }
}

// The flash-method request reaches the driver under the serial device type.
TEST(SerialPortWin32, ChooseMethodControlCodeIsTheSerialDriversRequest) {
  EXPECT_EQ(serial_win32::kChooseMethodControlCode,
            static_cast<DWORD>(CTL_CODE(FILE_DEVICE_SERIAL_PORT, 0x64, METHOD_BUFFERED, FILE_ANY_ACCESS)));
}

constexpr const char* kWineLine = "Z:\\dev\\ptmx";

// Opens port on a Wine line; false (the test skips) where there is none.
bool OpenWineLine(SerialPort& port) { return port.Open(kWineLine, 2048, 2048) == win_error::kSuccess; }

#define ZORBEL_OPEN_WINE_LINE(port) \
  if (!OpenWineLine(port)) GTEST_SKIP() << "no Wine line at " << kWineLine

TEST(SerialPortWineLine, OpenAppliesTheDefaultsAndRefusesASecondOpen) {
  SerialPort port;
  ZORBEL_OPEN_WINE_LINE(port);
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(port.GetBaudrate(), 9600);
  EXPECT_EQ(port.GetDataBits(), 8);
  EXPECT_EQ(port.GetParity(), 0);
  EXPECT_EQ(port.GetStopBits(), 0);
  EXPECT_EQ(port.GetEventMask(), serial_common::kDefaultEventMask);
  port.Setup(19200, 8, 0, 0);
  EXPECT_EQ(port.Open(kWineLine, 2048, 2048), win_error::kAlreadyInitialized);
  EXPECT_EQ(port.LastError(), win_error::kAlreadyInitialized);
  EXPECT_EQ(port.GetBaudrate(), 19200);  // still the first handle
  EXPECT_EQ(port.Close(), win_error::kSuccess);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.Open(kWineLine, 2048, 2048), win_error::kSuccess);
  EXPECT_EQ(port.GetBaudrate(), 9600);
}

// A caller takes a failed Open for a closed port: the object must be usable
// for the next Open, and the line free for others.
TEST(SerialPortWineLine, RefusedDefaultSettingLeavesThePortClosed) {
  {
    SerialPort probe;
    ZORBEL_OPEN_WINE_LINE(probe);
  }
  for (int refuse = 0; refuse < 4; ++refuse) {
    SCOPED_TRACE(refuse);
    RefusingPort port;
    port.refuse = refuse;
    EXPECT_EQ(port.Open(kWineLine, 2048, 2048), win_error::kGenFailure);
    EXPECT_EQ(port.LastError(), win_error::kGenFailure);
    EXPECT_FALSE(port.IsOpen());
    std::vector<int> upToRefused;
    for (int slot = 0; slot <= refuse; ++slot) upToRefused.push_back(slot);
    EXPECT_EQ(port.calls, upToRefused);
    port.refuse = -1;
    EXPECT_EQ(port.Open(kWineLine, 2048, 2048), win_error::kSuccess);
  }
}

// Refusals of the port's settings on a line: unknown modes, and the board
// driver's request that Wine's serial driver knows nothing of (the failure
// is reported, not taken for the board's answer).
TEST(SerialPortWineLine, UnknownModesAndTheDriversRefusalAreReported) {
  SerialPort port;
  ZORBEL_OPEN_WINE_LINE(port);
  EXPECT_EQ(port.SetupHandshaking(3), win_error::kInvalidArg);
  EXPECT_EQ(port.LastError(), win_error::kInvalidArg);
  EXPECT_EQ(port.SetupReadTimeouts(2, 0), win_error::kInvalidArg);
  EXPECT_EQ(port.LastError(), win_error::kInvalidArg);
  EXPECT_EQ(port.SetupReadTimeouts(1, 10000), win_error::kSuccess);
  EXPECT_EQ(port.LastError(), win_error::kSuccess);
  RecordingPrompt prompt;
  EXPECT_EQ(port.ChooseMethod(4, &prompt), 0);
  EXPECT_NE(port.LastError(), win_error::kSuccess);
  EXPECT_EQ(prompt.Messages(), std::vector<std::string>{"ChooseMethod - Unable to set flash method"});
  EXPECT_TRUE(port.IsOpen());
}

TEST(SerialPortWineLine, SetEventCharAddsTheEventOnlyWhenAsked) {
  for (bool adjustMask : {false, true}) {
    SCOPED_TRACE(adjustMask);
    SerialPort port;
    ZORBEL_OPEN_WINE_LINE(port);
    EXPECT_EQ(port.SetEventChar('\n', adjustMask), win_error::kSuccess);
    EXPECT_EQ(port.GetEventMask(),
              serial_common::kDefaultEventMask | (adjustMask ? serial_common::kEventRxFlag : 0));
  }
}

// A read whose own wait runs out before the port's read time-out is
// cancelled and reported as a time-out; the next read starts afresh.
TEST(SerialPortWineLine, ReadThatRunsOutIsCancelled) {
  SerialPort port;
  ZORBEL_OPEN_WINE_LINE(port);
  ASSERT_EQ(port.SetupReadTimeouts(1, 10000), win_error::kSuccess);
  for (int attempt = 0; attempt < 2; ++attempt) {
    SCOPED_TRACE(attempt);
    char buf[4] = {'-', '-', '-', '-'};
    uint32_t got = 99;
    SerialOverlapped ov{5, 5, true};
    EXPECT_EQ(port.Read(buf, 4, &got, &ov, 50), win_error::kTimeout);
    EXPECT_EQ(port.LastError(), win_error::kTimeout);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(std::string(buf, 4), "----");
    EXPECT_FALSE(ov.pending);
    EXPECT_EQ(ov.error, win_error::kTimeout);
  }
  EXPECT_EQ(port.Close(), win_error::kSuccess);
}

// An Abort closes the page's port from another thread while the operation
// waits without limit; the wait must end, as a failure.
TEST(SerialPortWineLine, CloseFromAnotherThreadEndsAnEndlessRead) {
  SerialPort port;
  ZORBEL_OPEN_WINE_LINE(port);
  ASSERT_EQ(port.SetupReadTimeouts(1, 0), win_error::kSuccess);  // no port time-out either
  uint32_t result = win_error::kSuccess;
  std::thread reader([&] {
    char buf[4];
    uint32_t got = 0;
    result = port.Read(buf, 4, &got, nullptr, kInfinite);
  });
  Sleep(50);  // lets the read start, most of the time; either order must end
  EXPECT_EQ(port.Close(), win_error::kSuccess);
  reader.join();
  EXPECT_TRUE(result == win_error::kOperationAborted || result == win_error::kInvalidHandle) << result;
  EXPECT_FALSE(port.IsOpen());
}

}  // namespace
}  // namespace zorbel
