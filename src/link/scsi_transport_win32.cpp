// SCSI commands to a volume handle ("\\.\X:") through the pass-through
// control call. The request block is built by BuildPassThroughRequest in the
// layout of this process's pointer width.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "link/scsi_pass_through.h"
#include "link/scsi_transport.h"
#include "link/serial_port.h"

namespace zorbel {

namespace {

constexpr const char kSocketPrefix[] = "unix:";

class PassThroughTransport final : public ScsiTransport {
 public:
  explicit PassThroughTransport(HANDLE volume) : volume_(volume) {}
  ~PassThroughTransport() override { CloseHandle(volume_); }
  PassThroughTransport(const PassThroughTransport&) = delete;
  PassThroughTransport& operator=(const PassThroughTransport&) = delete;

  bool Execute(const ScsiCommand& command) override {
    if (command.data == nullptr && command.dataLength != 0) {
      // The driver would read or write through a null pointer.
      lastError_ = win_error::kInvalidParameter;
      return false;
    }
    std::vector<uint8_t> block =
        BuildPassThroughRequest(command, reinterpret_cast<uintptr_t>(command.data), sizeof(void*));
    const DWORD size = static_cast<DWORD>(block.size());
    DWORD returned = 0;
    if (!DeviceIoControl(volume_, kScsiPassThroughDirect, block.data(), size, block.data(), size, &returned,
                         nullptr)) {
      lastError_ = GetLastError();
      return false;
    }
    lastError_ = win_error::kSuccess;
    return true;
  }

  uint32_t LastError() const override { return lastError_; }

 private:
  HANDLE volume_;
  uint32_t lastError_ = win_error::kSuccess;
};

}  // namespace

std::unique_ptr<ScsiTransport> OpenScsiTransport(const std::string& path, uint32_t* error) {
  uint32_t ignored = 0;
  uint32_t& result = error != nullptr ? *error : ignored;
  if (path.rfind(kSocketPrefix, 0) == 0) {
    // The socket framing is served by the POSIX build only; a Windows build
    // reaches boards through their volumes.
    result = ERROR_NOT_SUPPORTED;
    return nullptr;
  }
  HANDLE volume = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (volume == INVALID_HANDLE_VALUE) {
    result = GetLastError();
    return nullptr;
  }
  result = win_error::kSuccess;
  return std::make_unique<PassThroughTransport>(volume);
}

}  // namespace zorbel
