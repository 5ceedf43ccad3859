// SCSI commands through the Linux SG_IO request, on a block device or an sg
// node. As with the Windows pass-through, a command counts as carried out
// when the kernel delivered it and got an answer; the SCSI status and sense
// data are the callers' business. A request the host could not deliver (time-out,
// device gone) is a failure.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "app/system_error.h"
#include "link/scsi_sg_linux.h"
#include "link/scsi_transport_backends.h"
#include "link/serial_port.h"

namespace zorbel {

namespace {

// Host status values of the SCSI mid-layer.
constexpr uint16_t kHostNoConnect = 0x01;
constexpr uint16_t kHostTimeOut = 0x03;
// Driver status: the driver timed the command out.
constexpr uint16_t kDriverTimeOut = 0x06;
constexpr uint16_t kDriverStatusMask = 0x0F;

class SgTransport final : public ScsiTransport {
 public:
  explicit SgTransport(int fd) : fd_(fd) {}
  ~SgTransport() override { ::close(fd_); }
  SgTransport(const SgTransport&) = delete;
  SgTransport& operator=(const SgTransport&) = delete;

  bool Execute(const ScsiCommand& command) override {
    if (command.dataLength != 0 && command.data == nullptr && command.direction != ScsiDirection::kNone) {
      lastError_ = win_error::kInvalidParameter;
      return false;
    }
    uint8_t sense[kSgSenseLength] = {};
    sg_io_hdr_t request = BuildSgIoRequest(command, sense);
    int rc;
    do {
      rc = ioctl(fd_, SG_IO, &request);
    } while (rc < 0 && errno == EINTR);
    lastError_ = rc < 0 ? WindowsCodeFromErrno(errno) : SgTransportError(request);
    return lastError_ == win_error::kSuccess;
  }
  uint32_t LastError() const override { return lastError_; }

 private:
  int fd_;
  uint32_t lastError_ = 0;
};

}  // namespace

sg_io_hdr_t BuildSgIoRequest(const ScsiCommand& command, uint8_t* sense) {
  sg_io_hdr_t request{};
  request.interface_id = 'S';
  if (command.dataLength == 0 || command.direction == ScsiDirection::kNone) {
    request.dxfer_direction = SG_DXFER_NONE;
  } else if (command.direction == ScsiDirection::kToDevice) {
    request.dxfer_direction = SG_DXFER_TO_DEV;
  } else {
    request.dxfer_direction = SG_DXFER_FROM_DEV;
  }
  request.cmd_len = static_cast<unsigned char>(std::min<size_t>(command.cdbLength, command.cdb.size()));
  request.cmdp = const_cast<unsigned char*>(command.cdb.data());
  request.mx_sb_len = std::min(command.senseLength, kSgSenseLength);
  request.sbp = request.mx_sb_len != 0 ? sense : nullptr;
  request.dxfer_len = request.dxfer_direction == SG_DXFER_NONE ? 0 : command.dataLength;
  request.dxferp = request.dxfer_direction == SG_DXFER_NONE ? nullptr : command.data;
  request.timeout = command.timeoutSeconds * 1000u;
  return request;
}

uint32_t SgTransportError(const sg_io_hdr_t& done) {
  if (done.host_status == kHostTimeOut || (done.driver_status & kDriverStatusMask) == kDriverTimeOut) {
    return win_error::kTimeout;
  }
  if (done.host_status == kHostNoConnect) return win_error::kDeviceNotConnected;
  if (done.host_status != 0) return win_error::kGenFailure;
  return win_error::kSuccess;
}

std::unique_ptr<ScsiTransport> OpenSgScsiTransport(const std::string& devicePath, uint32_t* error) {
  uint32_t code = win_error::kSuccess;
  const int fd = ::open(devicePath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    code = WindowsCodeFromErrno(errno);
  } else {
    // Both sg nodes and SCSI block devices answer this; anything else cannot carry SG_IO.
    int version = 0;
    if (ioctl(fd, SG_GET_VERSION_NUM, &version) != 0) {
      code = WindowsCodeFromErrno(errno);
      ::close(fd);
    } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      // No sharing, as with the COM port: a second tool on the board is turned away.
      code = errno == EWOULDBLOCK ? win_error::kAccessDenied : WindowsCodeFromErrno(errno);
      ::close(fd);
    }
  }
  if (error != nullptr) *error = code;
  if (code != win_error::kSuccess) return nullptr;
  return std::make_unique<SgTransport>(fd);
}

}  // namespace zorbel
