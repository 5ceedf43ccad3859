#pragma once
// What the PC sees of USB right now: the board's virtual COM ports and the
// volumes of a USB disk. Backends: Linux sysfs (device_bus_linux.cpp),
// Win32 setup API (device_bus_win32.cpp), and the virtual board.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/scsi_transport.h"

namespace zorbel {

class UserPrompt;

struct McuPort {
  unsigned number = 0;      // COM port number on Windows; 0 where ports have no number
  std::string path;         // "\\.\COM%d" on Windows, the device node elsewhere
  std::string description;  // the port's device description (USB product string on Linux)
};

class DeviceBus {
 public:
  virtual ~DeviceBus() = default;
  // The MCU-class ports present, in enumeration order. False (with no ports)
  // when the enumeration itself is unavailable.
  virtual bool EnumerateMcuPorts(std::vector<McuPort>& ports) = 0;
  // The volumes of every present USB device whose device ID starts with
  // deviceId ("USB\VID_7C3A&PID_6E21", compared without regard to case), in
  // walk order: "\\.\X:" paths on Windows, device nodes on Linux.
  virtual std::vector<std::string> FindVolumesForDevice(const std::string& deviceId) = 0;
  // Null when the volume cannot be opened; *error gets the Windows code.
  virtual std::unique_ptr<ScsiTransport> OpenVolume(const std::string& volumePath, uint32_t* error) = 0;
  // The older chip's registry mark; a no-op where there is no registry.
  virtual void MarkDeviceInRegistry(const std::string& vendorId, const std::string& productId,
                                    UserPrompt& prompt) = 0;
};

// Passes every call on to another bus: a bus of its own for a view that
// changes nothing (a station's virtual board) or only some calls.
class ForwardingDeviceBus : public DeviceBus {
 public:
  explicit ForwardingDeviceBus(DeviceBus& inner) : inner_(inner) {}
  bool EnumerateMcuPorts(std::vector<McuPort>& ports) override { return inner_.EnumerateMcuPorts(ports); }
  std::vector<std::string> FindVolumesForDevice(const std::string& deviceId) override {
    return inner_.FindVolumesForDevice(deviceId);
  }
  std::unique_ptr<ScsiTransport> OpenVolume(const std::string& volumePath, uint32_t* error) override {
    return inner_.OpenVolume(volumePath, error);
  }
  void MarkDeviceInRegistry(const std::string& vendorId, const std::string& productId,
                            UserPrompt& prompt) override {
    inner_.MarkDeviceInRegistry(vendorId, productId, prompt);
  }

 private:
  DeviceBus& inner_;
};

// The platform's discovery (sysfs on Linux, setup API on Windows).
std::unique_ptr<DeviceBus> MakePlatformDeviceBus();

}  // namespace zorbel
