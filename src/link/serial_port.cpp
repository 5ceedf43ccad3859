// Serial-port logic shared by every backend: the control block's flag word,
// the time-out modes and the flash-method exchange.
#include "link/serial_port.h"

#include <cstring>

#include "app/user_prompt.h"
#include "link/serial_port_common.h"

namespace zorbel {

namespace serial_common {

bool ApplyHandshakingMode(uint32_t& flags, int mode) {
  switch (mode) {
    case 0:
      flags &= ~(dcb::kOutxCtsFlow | dcb::kOutxDsrFlow | dcb::kDtrControlMask | dcb::kOutX | dcb::kInX |
                 dcb::kRtsControlMask);  // 0x333C
      return true;
    case 1:
      flags &= ~(dcb::kOutX | dcb::kInX | dcb::kDtrControlEnable | dcb::kRtsControlEnable);  // 0x1310
      flags |= dcb::kOutxCtsFlow | dcb::kOutxDsrFlow | dcb::kDtrControlHandshake |
               dcb::kRtsControlHandshake;  // 0x202C
      return true;
    case 2:
      flags &=
          ~(dcb::kOutxCtsFlow | dcb::kOutxDsrFlow | dcb::kDtrControlMask | dcb::kRtsControlMask);  // 0x303C
      flags |= dcb::kOutX | dcb::kInX;
      return true;
    default:
      return false;
  }
}

int HandshakingFromFlags(uint32_t flags) {
  if ((flags & dcb::kDtrControlMask) == dcb::kDtrControlHandshake &&
      (flags & dcb::kRtsControlMask) == dcb::kRtsControlHandshake) {
    return 1;
  }
  if ((flags & (dcb::kOutX | dcb::kInX)) == (dcb::kOutX | dcb::kInX)) return 2;
  return 0;
}

bool ApplyReadTimeoutMode(CommTimeouts& timeouts, int mode, uint32_t ms) {
  switch (mode) {
    case 0:
      timeouts.readInterval = 0xFFFFFFFFu;
      timeouts.readMultiplier = 0;
      timeouts.readConstant = 0;
      return true;
    case 1:
      timeouts.readInterval = 0;
      timeouts.readMultiplier = 0;
      timeouts.readConstant = ms;
      timeouts.writeMultiplier = 0;
      timeouts.writeConstant = kBlockingWriteConstantMs;
      return true;
    default:
      return false;
  }
}

bool IsNonBlockingRead(const CommTimeouts& timeouts) {
  return timeouts.readInterval == 0xFFFFFFFFu && timeouts.readMultiplier == 0 && timeouts.readConstant == 0;
}

}  // namespace serial_common

uint32_t SerialPort::Write(const char* text, uint32_t* written, SerialOverlapped* ov, uint32_t timeoutMs) {
  const uint32_t length = text == nullptr ? 0 : static_cast<uint32_t>(std::strlen(text));
  return Write(text, length, written, ov, timeoutMs);
}

uint32_t SerialPort::ApplyDefaults() {
  using namespace serial_common;
  uint32_t error = SetMask(kDefaultEventMask);
  if (error == win_error::kSuccess) error = Setup(kDefaultBaud, kDefaultDataBits, 0, 0);
  if (error == win_error::kSuccess) error = SetupReadTimeouts(1, kDefaultReadTimeoutMs);
  if (error == win_error::kSuccess) error = SetupHandshaking(0);
  // Callers take a failed Open for a closed port and never close it: left
  // open, the line would stay locked and every later Open refused.
  if (error != win_error::kSuccess) Close();
  return RecordError(error);
}

uint8_t SerialPort::ChooseMethod(uint8_t method, UserPrompt* prompt) {
  using namespace serial_common;
  RecordError(win_error::kSuccess);
  const uint8_t request[2] = {kMethodRequestMark, static_cast<uint8_t>(kMethodBase + method)};
  uint32_t error = win_error::kGenFailure;  // what a peer that never matches leaves
  for (int attempt = 0; attempt <= kMethodRetries; ++attempt) {
    uint8_t reply[2] = {0xFF, 0x00};
    const uint32_t sent = SendMethodRequest(request, reply);
    if (sent != win_error::kSuccess) {
      error = sent;
      break;
    }
    if (reply[0] == request[1]) return reply[1];
  }
  RecordError(error);
  if (prompt != nullptr) prompt->ShowMessage(kChooseMethodFailed);
  return 0;
}

}  // namespace zorbel
