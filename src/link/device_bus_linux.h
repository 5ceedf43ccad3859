#pragma once
// The Linux discovery: USB devices under a sysfs root, their ttys and disks
// (each disk's SCSI generic node, else its block node). The roots can point
// at a fake tree (tests).
#include <memory>
#include <string>

#include "link/board_source.h"
#include "link/device_bus.h"

namespace zorbel {

// sysRoot: where "bus/usb/devices" lies ("/sys"); devRoot: where the device
// nodes lie ("/dev").
std::unique_ptr<DeviceBus> MakeSysfsDeviceBus(const std::string& sysRoot, const std::string& devRoot);
// The boards under the same roots, by USB location (the device folder's name).
std::unique_ptr<BoardSource> MakeSysfsBoardSource(const std::string& sysRoot, const std::string& devRoot);

}  // namespace zorbel
