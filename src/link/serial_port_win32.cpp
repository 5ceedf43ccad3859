// The serial port over the Windows communications interface: a handle opened
// for overlapped I/O, one completion event for the transfers this object
// starts, and a close event that wakes any transfer blocked in another
// thread. The handle is released only when no thread is inside a call on it.
#include "link/serial_port_win32.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <mutex>

#include "link/serial_port.h"
#include "link/serial_port_common.h"

namespace zorbel {

using namespace serial_common;

namespace serial_win32 {

namespace {

// The bit fields follow BaudRate in one 32-bit word.
constexpr size_t kFlagWordOffset = offsetof(DCB, BaudRate) + sizeof(DWORD);
static_assert(offsetof(DCB, wReserved) == kFlagWordOffset + sizeof(DWORD));

}  // namespace

uint32_t FlagWord(const DCB& dcb) {
  uint32_t flags = 0;
  std::memcpy(&flags, reinterpret_cast<const char*>(&dcb) + kFlagWordOffset, sizeof flags);
  return flags;
}

void SetFlagWord(DCB& dcb, uint32_t flags) {
  std::memcpy(reinterpret_cast<char*>(&dcb) + kFlagWordOffset, &flags, sizeof flags);
}

}  // namespace serial_win32

struct SerialPort::Impl {
  std::atomic<uint32_t> lastError{win_error::kSuccess};
  std::mutex mutex;
  std::condition_variable idle;
  HANDLE port = nullptr;        // null while closed
  HANDLE completion = nullptr;  // manual reset, created by Open
  HANDLE closing = nullptr;     // manual reset, set while Close drains the callers
  bool closeRequested = false;
  int users = 0;
  DWORD eventMask = 0xFFFFFFFFu;  // what the last wait reported

  Impl() { closing = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  ~Impl() {
    if (closing != nullptr) CloseHandle(closing);
  }

  // Holds the handle for one call; invalid when the port is closed or closing.
  class Lease {
   public:
    explicit Lease(Impl& impl) : impl_(impl) {
      std::lock_guard<std::mutex> lock(impl_.mutex);
      if (impl_.port == nullptr || impl_.closeRequested) return;
      port_ = impl_.port;
      ++impl_.users;
    }
    ~Lease() {
      if (port_ == nullptr) return;
      std::lock_guard<std::mutex> lock(impl_.mutex);
      if (--impl_.users == 0) impl_.idle.notify_all();
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    bool valid() const { return port_ != nullptr; }
    HANDLE port() const { return port_; }

   private:
    Impl& impl_;
    HANDLE port_ = nullptr;
  };

  // Waits for an overlapped operation started on port: completion, the time-out
  // (1460) or a Close from another thread (995). The record is never left
  // pending: a cancelled operation is waited for before returning.
  uint32_t Finish(HANDLE port, OVERLAPPED& ov, DWORD* transferred, uint32_t timeoutMs) {
    HANDLE waits[2] = {ov.hEvent, closing};
    const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, timeoutMs);
    uint32_t result = win_error::kSuccess;
    if (woken == WAIT_OBJECT_0) {
      if (!GetOverlappedResult(port, &ov, transferred, FALSE)) result = GetLastError();
      return result;
    }
    if (woken == WAIT_TIMEOUT) {
      result = win_error::kTimeout;
    } else if (woken == WAIT_OBJECT_0 + 1) {
      result = win_error::kOperationAborted;
    } else {
      result = GetLastError();
    }
    CancelIoEx(port, &ov);
    // A transfer that ended on its own before the cancel reached it has moved
    // its bytes: a head that went out must not be reported as lost.
    if (GetOverlappedResult(port, &ov, transferred, TRUE)) return win_error::kSuccess;
    return result;
  }

  enum class Transfer { kRead, kWrite };

  // One read or write on the internal record. A caller's record is completed
  // before returning as well: the tool never leaves a transfer running.
  uint32_t RunTransfer(Transfer kind, void* buf, uint32_t len, uint32_t* count, uint32_t timeoutMs) {
    Lease lease(*this);
    if (!lease.valid()) return win_error::kInvalidHandle;
    OVERLAPPED ov{};
    ov.hEvent = completion;
    DWORD done = 0;
    const BOOL ok = kind == Transfer::kRead ? ReadFile(lease.port(), buf, len, &done, &ov)
                                            : WriteFile(lease.port(), buf, len, &done, &ov);
    if (ok) {
      SetEvent(completion);
      *count = done;
      return win_error::kSuccess;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) return error;
    done = 0;
    const uint32_t result = Finish(lease.port(), ov, &done, timeoutMs);
    *count = done;
    return result;
  }
};

SerialPort::SerialPort() : impl_(std::make_unique<Impl>()) {}

SerialPort::~SerialPort() { Close(); }

uint32_t SerialPort::RecordError(uint32_t code) {
  impl_->lastError.store(code, std::memory_order_relaxed);
  return code;
}

uint32_t SerialPort::LastError() const { return impl_->lastError.load(std::memory_order_relaxed); }

bool SerialPort::IsOpen() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->port != nullptr && !impl_->closeRequested;
}

uint32_t SerialPort::Open(const std::string& path, uint32_t inQueue, uint32_t outQueue) {
  RecordError(win_error::kSuccess);
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->port != nullptr) return RecordError(win_error::kAlreadyInitialized);
    HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) return RecordError(GetLastError());
    HANDLE completion = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (completion == nullptr) {
      const uint32_t error = GetLastError();
      CloseHandle(port);
      return RecordError(error);
    }
    // The queue sizes are set before the handle is published, so an Abort's
    // Close from another thread never meets a half-opened port.
    if (!SetupComm(port, inQueue, outQueue)) {
      const uint32_t error = GetLastError();
      CloseHandle(completion);
      CloseHandle(port);
      return RecordError(error);
    }
    impl_->port = port;
    impl_->completion = completion;
    impl_->eventMask = 0xFFFFFFFFu;
  }
  return ApplyDefaults();
}

uint32_t SerialPort::Close() {
  Impl& impl = *impl_;
  HANDLE port = nullptr;
  {
    std::unique_lock<std::mutex> lock(impl.mutex);
    if (impl.port == nullptr) return RecordError(win_error::kSuccess);
    if (impl.closeRequested) {
      // Another thread is closing: wait until it is done.
      impl.idle.wait(lock, [&] { return impl.port == nullptr; });
      return RecordError(win_error::kSuccess);
    }
    impl.closeRequested = true;
    port = impl.port;
    SetEvent(impl.closing);
  }
  CancelIoEx(port, nullptr);
  std::unique_lock<std::mutex> lock(impl.mutex);
  impl.idle.wait(lock, [&] { return impl.users == 0; });
  CloseHandle(impl.completion);
  CloseHandle(impl.port);
  impl.completion = nullptr;
  impl.port = nullptr;
  impl.closeRequested = false;
  ResetEvent(impl.closing);
  impl.idle.notify_all();
  return RecordError(win_error::kSuccess);
}

namespace {

// Reads the control block, lets edit change it (false: invalid mode), writes it back.
template <typename Edit>
uint32_t EditState(HANDLE port, Edit edit) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(port, &dcb)) return GetLastError();
  if (!edit(dcb)) return win_error::kInvalidArg;
  if (!SetCommState(port, &dcb)) return GetLastError();
  return win_error::kSuccess;
}

// The control block, or false when the port is closed or cannot be asked.
bool ReadState(HANDLE port, DCB& dcb) {
  dcb = DCB{};
  dcb.DCBlength = sizeof dcb;
  return port != nullptr && GetCommState(port, &dcb);
}

uint32_t Complete(SerialOverlapped* ov, uint32_t count, uint32_t error) {
  if (ov != nullptr) {
    ov->transferred = count;
    ov->error = error;
    ov->pending = false;
  }
  return error;
}

}  // namespace

uint32_t SerialPort::Setup(uint32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits) {
  RecordError(win_error::kSuccess);
  Impl::Lease lease(*impl_);
  if (!lease.valid()) return RecordError(win_error::kInvalidHandle);
  return RecordError(EditState(lease.port(), [&](DCB& dcb) {
    dcb.BaudRate = baud;
    dcb.ByteSize = dataBits;
    dcb.Parity = parity;
    dcb.StopBits = stopBits;
    dcb.fParity = parity != 0;
    return true;
  }));
}

uint32_t SerialPort::SetEventChar(uint8_t ch, bool adjustMask) {
  RecordError(win_error::kSuccess);
  Impl::Lease lease(*impl_);
  if (!lease.valid()) return RecordError(win_error::kInvalidHandle);
  // The control block is read before the mask changes, so a port that cannot
  // be asked keeps its mask.
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(lease.port(), &dcb)) return RecordError(GetLastError());
  dcb.EvtChar = static_cast<char>(ch);
  if (adjustMask) {
    DWORD mask = 0;
    if (!GetCommMask(lease.port(), &mask)) return RecordError(GetLastError());
    const uint32_t error = SetMask(mask | kEventRxFlag);
    if (error != win_error::kSuccess) return RecordError(error);
  }
  if (!SetCommState(lease.port(), &dcb)) return RecordError(GetLastError());
  return RecordError(win_error::kSuccess);
}

uint32_t SerialPort::SetMask(uint32_t mask) {
  RecordError(win_error::kSuccess);
  Impl::Lease lease(*impl_);
  if (!lease.valid()) return RecordError(win_error::kInvalidHandle);
  if (!SetCommMask(lease.port(), mask)) return RecordError(GetLastError());
  return win_error::kSuccess;
}

uint32_t SerialPort::SetupHandshaking(int mode) {
  RecordError(win_error::kSuccess);
  Impl::Lease lease(*impl_);
  if (!lease.valid()) return RecordError(win_error::kInvalidHandle);
  return RecordError(EditState(lease.port(), [&](DCB& dcb) {
    uint32_t flags = serial_win32::FlagWord(dcb);
    if (!ApplyHandshakingMode(flags, mode)) return false;
    serial_win32::SetFlagWord(dcb, flags);
    return true;
  }));
}

uint32_t SerialPort::SetupReadTimeouts(int mode, uint32_t ms) {
  RecordError(win_error::kSuccess);
  Impl::Lease lease(*impl_);
  if (!lease.valid()) return RecordError(win_error::kInvalidHandle);
  COMMTIMEOUTS current{};
  if (!GetCommTimeouts(lease.port(), &current)) return RecordError(GetLastError());
  CommTimeouts t{current.ReadIntervalTimeout, current.ReadTotalTimeoutMultiplier,
                 current.ReadTotalTimeoutConstant, current.WriteTotalTimeoutMultiplier,
                 current.WriteTotalTimeoutConstant};
  if (!ApplyReadTimeoutMode(t, mode, ms)) return RecordError(win_error::kInvalidArg);
  COMMTIMEOUTS next{t.readInterval, t.readMultiplier, t.readConstant, t.writeMultiplier, t.writeConstant};
  if (!SetCommTimeouts(lease.port(), &next)) return RecordError(GetLastError());
  return win_error::kSuccess;
}

int32_t SerialPort::GetBaudrate() {
  Impl::Lease lease(*impl_);
  DCB dcb;
  return ReadState(lease.port(), dcb) ? static_cast<int32_t>(dcb.BaudRate) : -1;
}

int32_t SerialPort::GetDataBits() {
  Impl::Lease lease(*impl_);
  DCB dcb;
  return ReadState(lease.port(), dcb) ? dcb.ByteSize : -1;
}

int32_t SerialPort::GetParity() {
  Impl::Lease lease(*impl_);
  DCB dcb;
  if (!ReadState(lease.port(), dcb)) return -1;
  return dcb.fParity ? dcb.Parity : 0;
}

int32_t SerialPort::GetStopBits() {
  Impl::Lease lease(*impl_);
  DCB dcb;
  return ReadState(lease.port(), dcb) ? dcb.StopBits : -1;
}

int32_t SerialPort::GetHandshaking() {
  Impl::Lease lease(*impl_);
  DCB dcb;
  return ReadState(lease.port(), dcb) ? HandshakingFromFlags(serial_win32::FlagWord(dcb)) : -1;
}

uint32_t SerialPort::GetEventMask() {
  Impl::Lease lease(*impl_);
  DWORD mask = 0;
  return lease.valid() && GetCommMask(lease.port(), &mask) ? mask : 0;
}

uint8_t SerialPort::GetEventChar() {
  Impl::Lease lease(*impl_);
  DCB dcb;
  return ReadState(lease.port(), dcb) ? static_cast<uint8_t>(dcb.EvtChar) : 0;
}

uint32_t SerialPort::Write(const void* buf, uint32_t len, uint32_t* written, SerialOverlapped* ov,
                           uint32_t timeoutMs) {
  RecordError(win_error::kSuccess);
  uint32_t count = 0;
  uint32_t* out = written != nullptr ? written : &count;
  *out = 0;
  const uint32_t result =
      impl_->RunTransfer(Impl::Transfer::kWrite, const_cast<void*>(buf), len, out, timeoutMs);
  return RecordError(Complete(ov, *out, result));
}

uint32_t SerialPort::Read(void* buf, uint32_t len, uint32_t* got, SerialOverlapped* ov, uint32_t timeoutMs) {
  RecordError(win_error::kSuccess);
  uint32_t count = 0;
  uint32_t* out = got != nullptr ? got : &count;
  *out = 0;
  const uint32_t result = impl_->RunTransfer(Impl::Transfer::kRead, buf, len, out, timeoutMs);
  return RecordError(Complete(ov, *out, result));
}

uint32_t SerialPort::WaitEvent(SerialOverlapped* ov, uint32_t timeoutMs) {
  RecordError(win_error::kSuccess);
  Impl::Lease lease(*impl_);
  if (!lease.valid()) return RecordError(Complete(ov, 0, win_error::kInvalidHandle));
  OVERLAPPED record{};
  record.hEvent = impl_->completion;
  if (WaitCommEvent(lease.port(), &impl_->eventMask, &record)) {
    SetEvent(impl_->completion);
    return RecordError(Complete(ov, 0, win_error::kSuccess));
  }
  const DWORD error = GetLastError();
  if (error != ERROR_IO_PENDING) return RecordError(Complete(ov, 0, error));
  DWORD ignored = 0;
  return RecordError(Complete(ov, 0, impl_->Finish(lease.port(), record, &ignored, timeoutMs)));
}

uint32_t SerialPort::SendMethodRequest(const uint8_t* request, uint8_t* reply) {
  Impl::Lease lease(*impl_);
  if (!lease.valid()) return win_error::kInvalidHandle;
  OVERLAPPED record{};
  record.hEvent = impl_->completion;
  DWORD returned = 0;
  if (DeviceIoControl(lease.port(), serial_win32::kChooseMethodControlCode, const_cast<uint8_t*>(request), 2,
                      reply, 2, &returned, &record)) {
    return win_error::kSuccess;
  }
  const DWORD error = GetLastError();
  if (error != ERROR_IO_PENDING) return error;
  return impl_->Finish(lease.port(), record, &returned, kInfinite);
}

}  // namespace zorbel
