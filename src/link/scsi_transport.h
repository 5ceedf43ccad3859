#pragma once
// One SCSI command to the board's disk: a command block, a direction, a data
// buffer and a time-out. Backends: Linux SG_IO (scsi_transport_linux.cpp),
// Win32 pass-through (scsi_transport_win32.cpp), SCSI over a Unix socket
// (scsi_transport_socket_posix.cpp), and the in-process virtual board.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace zorbel {

enum class ScsiDirection : uint8_t { kNone = 0, kToDevice = 1, kFromDevice = 2 };

struct ScsiCommand {
  std::array<uint8_t, 16> cdb{};
  uint8_t cdbLength = 10;
  ScsiDirection direction = ScsiDirection::kNone;
  void* data = nullptr;  // read when kToDevice, filled when kFromDevice
  uint32_t dataLength = 0;
  uint32_t timeoutSeconds = 0;
  uint8_t senseLength = 24;
};

class ScsiTransport {
 public:
  virtual ~ScsiTransport() = default;
  // False when the request could not be carried out (the control call
  // failed); LastError() then holds a Windows error code.
  virtual bool Execute(const ScsiCommand& command) = 0;
  virtual uint32_t LastError() const = 0;
};

// Opens a volume by its path: "unix:PATH" for the socket framing, a device
// node on Linux, "\\.\X:" on Windows. Null on failure, with *error set.
std::unique_ptr<ScsiTransport> OpenScsiTransport(const std::string& path, uint32_t* error);

}  // namespace zorbel
