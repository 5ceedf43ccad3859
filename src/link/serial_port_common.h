#pragma once
// Line settings as the Windows communications interface keeps them, shared by
// the serial-port backends so that getters answer alike on every platform:
// the control block's flag word and the five time-out values.
#include <cstdint>

namespace zorbel::serial_common {

// Bits of the control block's flag word.
namespace dcb {
constexpr uint32_t kBinary = 0x0001;
constexpr uint32_t kParity = 0x0002;
constexpr uint32_t kOutxCtsFlow = 0x0004;
constexpr uint32_t kOutxDsrFlow = 0x0008;
constexpr uint32_t kDtrControlMask = 0x0030;
constexpr uint32_t kDtrControlEnable = 0x0010;
constexpr uint32_t kDtrControlHandshake = 0x0020;
constexpr uint32_t kOutX = 0x0100;
constexpr uint32_t kInX = 0x0200;
constexpr uint32_t kRtsControlMask = 0x3000;
constexpr uint32_t kRtsControlEnable = 0x1000;
constexpr uint32_t kRtsControlHandshake = 0x2000;
}  // namespace dcb

// Event mask bits.
constexpr uint32_t kEventRxChar = 0x0001;
constexpr uint32_t kEventRxFlag = 0x0002;
constexpr uint32_t kEventBreak = 0x0040;
constexpr uint32_t kEventError = 0x0080;
// Received character, break, line error.
constexpr uint32_t kDefaultEventMask = kEventRxChar | kEventBreak | kEventError;

constexpr uint32_t kDefaultBaud = 9600;
constexpr uint8_t kDefaultDataBits = 8;
constexpr uint32_t kDefaultReadTimeoutMs = 10000;
constexpr uint32_t kBlockingWriteConstantMs = 5000;

struct CommTimeouts {
  uint32_t readInterval = 0;
  uint32_t readMultiplier = 0;
  uint32_t readConstant = 0;
  uint32_t writeMultiplier = 0;
  uint32_t writeConstant = 0;
  bool operator==(const CommTimeouts&) const = default;
};

// Handshaking mode 0 off, 1 hardware, 2 software applied to flags; false
// (flags untouched) for any other mode.
bool ApplyHandshakingMode(uint32_t& flags, int mode);
// 1 when DTR and RTS are both in handshake mode, else 2 when both XON/XOFF
// flags are set, else 0.
int HandshakingFromFlags(uint32_t flags);
// Read time-out mode 0 non-blocking, 1 blocking with ms as read constant;
// false (untouched) for any other mode.
bool ApplyReadTimeoutMode(CommTimeouts& timeouts, int mode, uint32_t ms);
// True when reads return at once with whatever is there.
bool IsNonBlockingRead(const CommTimeouts& timeouts);

// The in-band flash-method exchange: request {0xB0, 0x80 + method}, reply
// {0x80 + method, answer}; a mismatching reply is asked again this many times.
constexpr uint8_t kMethodRequestMark = 0xB0;
constexpr uint8_t kMethodBase = 0x80;
constexpr int kMethodRetries = 8;
inline constexpr const char* kChooseMethodFailed = "ChooseMethod - Unable to set flash method";

}  // namespace zorbel::serial_common
