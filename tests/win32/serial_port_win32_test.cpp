// The Win32 serial port's codes where no board is needed: a closed port, a
// path that is not there, a file that is no port. Ports of a real line are
// covered by SerialPortWineLine (serial_line_win32_test.cpp).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "app/user_prompt.h"
#include "link/serial_port.h"
#include "link/serial_port_common.h"
#include "link/serial_port_win32.h"
#include "win32/temp_folder.h"

namespace zorbel {
namespace {

TEST(SerialPortWin32, EveryCallOnAClosedPortFailsWithInvalidHandle) {
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
  EXPECT_EQ(port.GetBaudrate(), -1);
  EXPECT_EQ(port.GetDataBits(), -1);
  EXPECT_EQ(port.GetParity(), -1);
  EXPECT_EQ(port.GetStopBits(), -1);
  EXPECT_EQ(port.GetHandshaking(), -1);
  EXPECT_EQ(port.GetEventMask(), 0u);
  EXPECT_EQ(port.GetEventChar(), 0);
  EXPECT_EQ(port.Close(), win_error::kSuccess);
}

TEST(SerialPortWin32, ChooseMethodOnAClosedPortShowsTheMessage) {
  SerialPort port;
  RecordingPrompt prompt;
  EXPECT_EQ(port.ChooseMethod(3, &prompt), 0);
  EXPECT_EQ(port.LastError(), win_error::kInvalidHandle);
  EXPECT_EQ(prompt.Messages(), std::vector<std::string>{"ChooseMethod - Unable to set flash method"});
}

TEST(SerialPortWin32, OpenFailuresKeepThePortClosed) {
  test::TempFolder folder;
  const std::string file = folder.Path() + "\\not a port.bin";
  std::FILE* f = std::fopen(file.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
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

}  // namespace
}  // namespace zorbel
