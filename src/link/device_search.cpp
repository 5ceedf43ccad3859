#include "link/device_search.h"

#include <array>
#include <utility>
#include <vector>

#include "app/ascii_case.h"
#include "app/tool_state.h"
#include "link/device_bus.h"
#include "link/updatepmp.h"

namespace zorbel {
namespace {

constexpr std::array<ProductInfo, 9> kProducts = {{
    {"6E21", 1, true},
    {"6E22", 1, false},
    {"6E31", 2, true},
    {"6E32", 2, false},
    {"6E11", 3, true},
    {"6E12", 3, false},
    {"B190", 0, false},
    {"B191", 0, false},
    {"B192", 0, true},
}};

}  // namespace

const ProductInfo* FindProduct(const std::string& productId) {
  for (const ProductInfo& p : kProducts) {
    if (productId == p.productId) return &p;
  }
  return nullptr;
}

std::string VendorIdFor(const std::string& productId) { return productId == "100E" ? "0813" : "7C3A"; }

std::string MakeDeviceId(const std::string& vendorId, const std::string& productId) {
  return "USB\\VID_" + vendorId + "&PID_" + productId;
}

bool FindVcomPort(DeviceBus& bus, FoundPort& found) {
  std::vector<McuPort> ports;
  if (!bus.EnumerateMcuPorts(ports)) return false;
  for (const McuPort& port : ports) {
    if (!EqualsIgnoringCase(port.description, kMcuPortDescription)) continue;
    found.path = port.path;
    if (port.number != 0) {
      found.label = "COM" + std::to_string(port.number);
    } else {
      // Ports without a number (device nodes) are named by their node.
      found.label = port.path;
    }
    found.statusText = " " + found.label + " Connected";
    return true;
  }
  return false;
}

bool DetectDiskByProductId(DeviceBus& bus, ConnectionState& connection, const std::string& productId) {
  // The handles of an earlier search are closed here rather than leaked: a
  // board that re-enumerates would otherwise keep its old volumes open.
  connection.CloseVolumes();
  connection.productId = productId;
  connection.vendorId = VendorIdFor(productId);
  connection.deviceId = MakeDeviceId(connection.vendorId, connection.productId);

  const std::vector<std::string> volumes = bus.FindVolumesForDevice(connection.deviceId);
  if (volumes.empty()) return false;
  for (size_t i = 0; i < volumes.size() && i < kMaxVolumes; ++i) {
    VolumeEntry& entry = connection.volumes[i];
    entry.path = volumes[i];
    entry.handle = MassStorageLink::OpenVolume(entry.path, &bus);
    if (entry.handle) {
      // Every command goes to entry 0: the volume that opened takes its place.
      std::swap(connection.volumes[0], entry);
      break;
    }
  }
  return true;
}

void MarkDeviceInRegistry(DeviceBus& bus, const std::string& productId, UserPrompt& prompt) {
  bus.MarkDeviceInRegistry(VendorIdFor(productId), productId, prompt);
}

}  // namespace zorbel
