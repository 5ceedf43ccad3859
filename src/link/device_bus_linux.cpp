#include "link/device_bus_linux.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "app/ascii_case.h"
#include "link/board_source.h"
#include "link/device_search.h"
#include "link/scsi_transport.h"

namespace zorbel {
namespace {

namespace fs = std::filesystem;

// A USB device dir holds more than the board: bound how deep a walk goes so
// an odd tree cannot keep it busy.
constexpr int kMaxWalkDepth = 12;

std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string text;
  if (!in || !std::getline(in, text)) return {};
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  return text;
}

bool IsUsbDevice(const fs::path& dir) {
  std::error_code ec;
  return fs::is_regular_file(dir / "idVendor", ec) && fs::is_regular_file(dir / "idProduct", ec);
}

// The counterpart of a "PortName" of COM plus digits: a tty node of letters
// followed by a number ("ttyACM0", "ttyUSB3").
bool IsNumberedTty(const std::string& name) {
  if (name.rfind("tty", 0) != 0) return false;
  size_t i = 3;
  while (i < name.size() && std::isalpha(static_cast<unsigned char>(name[i]))) ++i;
  if (i == 3 || i == name.size()) return false;
  for (; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
  }
  return true;
}

struct UsbDevice {
  fs::path dir;
  std::string deviceId;  // "USB\VID_7C3A&PID_6E21"
};

struct FoundNode {
  std::string name;  // "sda", "ttyACM0"
  fs::path parent;   // the dir holding the "block" or "tty" folder
};

// The "block/<name>" or "tty/<name>" entries below a USB device, in name
// order, without entering other USB devices (a hub's children) or symlinks.
std::vector<FoundNode> FindClassNodes(const fs::path& deviceDir, const std::string& className) {
  std::vector<FoundNode> found;
  std::error_code ec;
  fs::recursive_directory_iterator it(deviceDir, fs::directory_options::skip_permission_denied, ec);
  if (ec) return found;
  for (const fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
    if (ec) break;
    const fs::directory_entry& entry = *it;
    if (entry.is_symlink(ec) || !entry.is_directory(ec)) {
      continue;
    }
    if (it.depth() >= kMaxWalkDepth || IsUsbDevice(entry.path())) {
      it.disable_recursion_pending();
      continue;
    }
    const fs::path parent = entry.path().parent_path();
    if (parent.filename() == className) {
      found.push_back({entry.path().filename().string(), parent.parent_path()});
      // Partitions and the class device's own attributes lie below it.
      it.disable_recursion_pending();
    }
  }
  std::sort(found.begin(), found.end(), [](const FoundNode& a, const FoundNode& b) {
    return a.parent.string() != b.parent.string() ? a.parent.string() < b.parent.string() : a.name < b.name;
  });
  return found;
}

// The node a disk's commands go to. The board's commands are vendor
// commands, which the kernel refuses on a block node to anyone but root; a
// SCSI generic node opened for writing carries them for whoever may open it
// (the udev rules give the user at the seat that right). The block node
// serves when the sg driver is not loaded.
std::string CommandNode(const FoundNode& block) {
  std::error_code ec;
  fs::directory_iterator it(block.parent / "scsi_generic", ec);
  for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    return it->path().filename().string();
  }
  return block.name;
}

class SysfsDeviceBus final : public DeviceBus {
 public:
  // location: the one USB location this bus sees ("1-1.2", the device's
  // folder name); empty: every one.
  SysfsDeviceBus(std::string sysRoot, std::string devRoot, std::string location = {})
      : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)), location_(std::move(location)) {}

  bool EnumerateMcuPorts(std::vector<McuPort>& ports) override {
    ports.clear();
    std::vector<UsbDevice> devices;
    if (!ListUsbDevices(devices)) return false;
    for (const UsbDevice& device : devices) {
      const std::string product = ReadAttribute(device.dir / "product");
      for (const FoundNode& tty : FindClassNodes(device.dir, "tty")) {
        if (!IsNumberedTty(tty.name)) continue;
        McuPort port;
        port.path = devRoot_ + "/" + tty.name;
        port.description = InterfaceString(device.dir, tty.parent);
        if (port.description.empty()) port.description = product;
        ports.push_back(std::move(port));
      }
    }
    return true;
  }

  std::vector<std::string> FindVolumesForDevice(const std::string& deviceId) override {
    std::vector<std::string> volumes;
    std::vector<UsbDevice> devices;
    if (!ListUsbDevices(devices)) return volumes;
    for (const UsbDevice& device : devices) {
      if (!StartsWithIgnoringCase(device.deviceId, deviceId)) continue;
      for (const FoundNode& block : FindClassNodes(device.dir, "block")) {
        volumes.push_back(devRoot_ + "/" + CommandNode(block));
      }
    }
    return volumes;
  }

  std::unique_ptr<ScsiTransport> OpenVolume(const std::string& volumePath, uint32_t* error) override {
    return OpenScsiTransport(volumePath, error);
  }

  // The registry mark is read by software that exists only where there is a
  // registry; Linux has neither, so there is nothing to write.
  void MarkDeviceInRegistry(const std::string&, const std::string&, UserPrompt&) override {}

 private:
  bool ListUsbDevices(std::vector<UsbDevice>& devices) const {
    const fs::path dir = fs::path(sysRoot_) / "bus" / "usb" / "devices";
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) return false;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
      if (ec) return false;
      const fs::path path = it->path();
      if (!IsUsbDevice(path)) continue;  // interfaces sit beside the devices
      if (!location_.empty() && path.filename() != location_) continue;
      devices.push_back({path, MakeDeviceId(AsciiUpper(ReadAttribute(path / "idVendor")),
                                            AsciiUpper(ReadAttribute(path / "idProduct")))});
    }
    std::sort(devices.begin(), devices.end(),
              [](const UsbDevice& a, const UsbDevice& b) { return a.dir.filename() < b.dir.filename(); });
    return true;
  }

  // The product string of the interface a node hangs under: the nearest
  // folder between the node and its USB device with an "interface" file.
  static std::string InterfaceString(const fs::path& deviceDir, fs::path dir) {
    // The node's path was built below deviceDir, so walking up reaches it.
    while (dir != deviceDir && dir.has_relative_path() && dir != dir.parent_path()) {
      const std::string text = ReadAttribute(dir / "interface");
      if (!text.empty()) return text;
      dir = dir.parent_path();
    }
    return {};
  }

  std::string sysRoot_;
  std::string devRoot_;
  std::string location_;
};

// A board shows as a disk with one of the sequence's product IDs or as an
// MCU port; both are asked of a bus that sees the one location.
class SysfsBoardSource final : public BoardSource {
 public:
  SysfsBoardSource(std::string sysRoot, std::string devRoot)
      : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)) {}

  std::vector<std::string> Locations() override {
    std::vector<std::string> locations;
    const fs::path dir = fs::path(sysRoot_) / "bus" / "usb" / "devices";
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      const fs::path path = it->path();
      if (!IsUsbDevice(path)) continue;
      const std::string productId = AsciiUpper(ReadAttribute(path / "idProduct"));
      const bool disk = FindProduct(productId) != nullptr &&
                        AsciiUpper(ReadAttribute(path / "idVendor")) == VendorIdFor(productId);
      FoundPort port;
      SysfsDeviceBus alone(sysRoot_, devRoot_, path.filename().string());
      if (disk || FindVcomPort(alone, port)) locations.push_back(path.filename().string());
    }
    std::sort(locations.begin(), locations.end());
    return locations;
  }

  std::unique_ptr<DeviceBus> BusAt(const std::string& location) override {
    return std::make_unique<SysfsDeviceBus>(sysRoot_, devRoot_, location);
  }

 private:
  std::string sysRoot_;
  std::string devRoot_;
};

}  // namespace

std::unique_ptr<BoardSource> MakeSysfsBoardSource(const std::string& sysRoot, const std::string& devRoot) {
  return std::make_unique<SysfsBoardSource>(sysRoot, devRoot);
}

std::unique_ptr<BoardSource> MakePlatformBoardSource() { return MakeSysfsBoardSource("/sys", "/dev"); }

std::unique_ptr<DeviceBus> MakeSysfsDeviceBus(const std::string& sysRoot, const std::string& devRoot) {
  return std::make_unique<SysfsDeviceBus>(sysRoot, devRoot);
}

std::unique_ptr<DeviceBus> MakePlatformDeviceBus() { return MakeSysfsDeviceBus("/sys", "/dev"); }

}  // namespace zorbel
