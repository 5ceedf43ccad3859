#pragma once
// The channel to the board's virtual COM port. Every operation returns a
// Windows error code (0 = success) and keeps it as the last error; the POSIX
// backend maps its errno values onto the nearest Windows codes. No platform
// type appears here: each backend (serial_port_posix.cpp,
// serial_port_win32.cpp) defines Impl.
#include <cstdint>
#include <memory>
#include <string>

namespace zorbel {

class UserPrompt;

namespace win_error {
constexpr uint32_t kSuccess = 0;
constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kAccessDenied = 5;
constexpr uint32_t kInvalidHandle = 6;
constexpr uint32_t kNotEnoughMemory = 8;
constexpr uint32_t kGenFailure = 31;
constexpr uint32_t kSharingViolation = 32;
constexpr uint32_t kInvalidParameter = 87;
constexpr uint32_t kCallNotImplemented = 120;
constexpr uint32_t kOperationAborted = 995;
constexpr uint32_t kIoPending = 997;
constexpr uint32_t kAlreadyInitialized = 1247;
constexpr uint32_t kDeviceNotConnected = 1167;
constexpr uint32_t kTimeout = 1460;
constexpr uint32_t kInvalidArg = 0x80070057u;
}  // namespace win_error

// A wait without limit.
constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// A caller's overlapped record: the transfer is started and completed later
// by the caller (GetResult). Backends that cannot start a transfer in the
// background complete it before returning and report it complete.
struct SerialOverlapped {
  uint32_t transferred = 0;
  uint32_t error = 0;
  bool pending = false;
};

class SerialPort {
 public:
  SerialPort();
  virtual ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  virtual uint32_t Open(const std::string& path, uint32_t inQueue, uint32_t outQueue);
  // Safe from any thread: a read, write or wait blocked in another thread
  // returns at once with a failure.
  virtual uint32_t Close();
  virtual uint32_t Setup(uint32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits);
  virtual uint32_t SetEventChar(uint8_t ch, bool adjustMask);
  virtual uint32_t SetMask(uint32_t mask);
  virtual uint32_t WaitEvent(SerialOverlapped* ov, uint32_t timeoutMs);
  virtual uint32_t SetupHandshaking(int mode);
  virtual uint32_t SetupReadTimeouts(int mode, uint32_t ms);
  virtual int32_t GetBaudrate();
  virtual int32_t GetDataBits();
  virtual int32_t GetParity();
  virtual int32_t GetStopBits();
  virtual int32_t GetHandshaking();
  virtual uint32_t GetEventMask();
  virtual uint8_t GetEventChar();
  virtual uint32_t Write(const char* text, uint32_t* written, SerialOverlapped* ov, uint32_t timeoutMs);
  virtual uint32_t Write(const void* buf, uint32_t len, uint32_t* written, SerialOverlapped* ov,
                         uint32_t timeoutMs);
  virtual uint32_t Read(void* buf, uint32_t len, uint32_t* got, SerialOverlapped* ov, uint32_t timeoutMs);

  // Tells the board's loader which FlashMethod follows. Returns the board's
  // answer byte, or 0 on failure after showing
  // "ChooseMethod - Unable to set flash method" through prompt (when given).
  uint8_t ChooseMethod(uint8_t method, UserPrompt* prompt);

  uint32_t LastError() const;
  bool IsOpen() const;

 private:
  // Backend hooks for the code shared by every platform (serial_port.cpp).
  // One flash-method request: sends the two request bytes, fills the two
  // reply bytes; returns 0 or a Windows code.
  uint32_t SendMethodRequest(const uint8_t* request, uint8_t* reply);
  // Stores code as the last error and returns it.
  uint32_t RecordError(uint32_t code);
  // The end of every backend's Open: the default line, mask, time-outs and
  // handshaking, or the first refusal with the port closed again.
  uint32_t ApplyDefaults();

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zorbel
