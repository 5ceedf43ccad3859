#pragma once
// The three searches for the board over a DeviceBus: its virtual COM port by
// description, its disk by product ID (volumes opened into ConnectionState),
// and the older chip's registry mark.
#include <cstdint>
#include <string>

namespace zorbel {

class DeviceBus;
class UserPrompt;
struct ConnectionState;

// The description of the board's virtual COM port (compared ignoring case).
inline constexpr const char* kMcuPortDescription = "Velmora ARM 926-Based MCU Ports";

// What a product ID says about the board.
struct ProductInfo {
  const char* productId;
  uint32_t chipFamily;  // 0 the older chip, 1 Quen, 2 Rast, 3 Pilk
  bool loaderDisk;      // the loader already runs
};
// Null for a product ID the sequence does not know.
const ProductInfo* FindProduct(const std::string& productId);

// "0813" for "100E", "7C3A" for every other product ID.
std::string VendorIdFor(const std::string& productId);
// "USB\VID_%s&PID_%s".
std::string MakeDeviceId(const std::string& vendorId, const std::string& productId);

struct FoundPort {
  std::string path;        // what SerialPort::Open takes
  std::string label;       // "COM%d", or the device node where ports have no number
  std::string statusText;  // " COM%d Connected", or " %s Connected" with the node
};

// The first enumerated MCU port whose description matches.
bool FindVcomPort(DeviceBus& bus, FoundPort& found);

// Looks for the disk of productId: keeps product, vendor and device ID in
// connection, replaces the volume table (closing the handles of an earlier
// search) with the disk's volumes and opens them in order until one opens.
// True when the device has volumes, also when none opened (deviceHandle()
// is then null).
bool DetectDiskByProductId(DeviceBus& bus, ConnectionState& connection, const std::string& productId);

// The older chip's registry mark for productId, with its vendor ID.
void MarkDeviceInRegistry(DeviceBus& bus, const std::string& productId, UserPrompt& prompt);

}  // namespace zorbel
