// Finding the board on Windows: its virtual COM port through the setup
// library (loaded at run time), and the volumes of its USB disk through the
// device tree, removal relations and volume mount points.
#include "link/device_bus_win32.h"

#include <cfgmgr32.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/user_prompt.h"
#include "link/board_source.h"
#include "link/device_bus.h"
#include "link/scsi_transport.h"

namespace zorbel {

namespace setup_win32 {

namespace {

constexpr const char* kMcuPortsClass = "MCUPorts";
constexpr const char* kPortNameValue = "PortName";
constexpr DWORD kValueBufferSize = 256;
constexpr DWORD kRemovableCapability = 0x4;  // CM_DEVCAP_REMOVABLE
constexpr const char* kUsbVendorPrefix = "USB\\VID";
constexpr const char* kNoName = "Device";
// The volume interface class {53f5630d-b6bf-11d0-94f2-00a0c91efb8b}.
constexpr GUID kVolumeInterface = {
    0x53f5630d, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(text[i])) !=
        std::toupper(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

template <typename Fn>
Fn Resolve(HMODULE module, const char* name, ProcResolver resolve) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(resolve(module, name)));
}

// A string property of a device, or empty.
template <typename GetProperty>
std::string StringProperty(GetProperty get, HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  char buffer[kValueBufferSize + 1] = {};
  DWORD type = 0;
  if (!get(set, &device, property, &type, reinterpret_cast<BYTE*>(buffer), kValueBufferSize, nullptr) ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return {};
  }
  return buffer;
}

}  // namespace

bool SetupApi::Load(const char* library, ProcResolver resolve) {
  Unload();
  if (resolve == nullptr) resolve = GetProcAddress;
  module_ = LoadLibraryA(library);
  if (module_ != nullptr) {
    openDevRegKey = Resolve<decltype(openDevRegKey)>(module_, "SetupDiOpenDevRegKey", resolve);
    classGuidsFromName =
        Resolve<decltype(classGuidsFromName)>(module_, "SetupDiClassGuidsFromNameA", resolve);
    getClassDevs = Resolve<decltype(getClassDevs)>(module_, "SetupDiGetClassDevsA", resolve);
    getDeviceRegistryProperty =
        Resolve<decltype(getDeviceRegistryProperty)>(module_, "SetupDiGetDeviceRegistryPropertyA", resolve);
    destroyDeviceInfoList =
        Resolve<decltype(destroyDeviceInfoList)>(module_, "SetupDiDestroyDeviceInfoList", resolve);
    enumDeviceInfo = Resolve<decltype(enumDeviceInfo)>(module_, "SetupDiEnumDeviceInfo", resolve);
    if (openDevRegKey && classGuidsFromName && getClassDevs && getDeviceRegistryProperty &&
        destroyDeviceInfoList && enumDeviceInfo) {
      return true;
    }
  }
  Unload();
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

void SetupApi::Unload() {
  if (module_ != nullptr) FreeLibrary(module_);
  module_ = nullptr;
  openDevRegKey = nullptr;
  classGuidsFromName = nullptr;
  getClassDevs = nullptr;
  getDeviceRegistryProperty = nullptr;
  destroyDeviceInfoList = nullptr;
  enumDeviceInfo = nullptr;
}

std::optional<unsigned> ComPortNumber(DWORD valueType, const BYTE* data, DWORD size) {
  if (valueType != REG_SZ || data == nullptr) return std::nullopt;
  // The stored size may or may not count the terminating zero.
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.substr(0, text.find('\0'));
  if (text.size() <= 3 || !StartsWithNoCase(text, "COM")) return std::nullopt;
  unsigned number = 0;
  for (size_t i = 3; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    const unsigned next = number * 10 + static_cast<unsigned>(text[i] - '0');
    if (next / 10 != number) return std::nullopt;  // more digits than a port number has
    number = next;
  }
  return number;
}

bool UpdateMatchFlag(bool flag, std::string_view nodeId, std::string_view wanted) {
  if (!StartsWithNoCase(nodeId, kUsbVendorPrefix)) return flag;
  return !wanted.empty() && StartsWithNoCase(nodeId, wanted);
}

std::string DriveDescription(const std::string& name, const std::string& letters) {
  if (letters.empty()) return name;
  std::string text = name + " - Drive (";
  for (size_t i = 0; i < letters.size(); ++i) {
    if (i != 0) text += ',';
    text += letters[i];
    text += ':';
  }
  return text + ")";
}

namespace {

// A parent chain longer than this is no device tree.
constexpr size_t kMaxTreeDepth = 64;

class LetterWalk {
 public:
  LetterWalk(const DeviceTree& tree, std::set<std::string> working, std::string_view wanted)
      : tree_(tree), working_(std::move(working)), wanted_(wanted) {}

  void WalkDevice(DEVINST device) {
    visited_.clear();
    Walk(device, AncestorsMatch(device));
  }

  const std::string& Letters() const { return letters_; }

 private:
  // The flag a device's own walk starts with: what its USB ancestors say, so
  // a disk node listed apart from its USB device is still the board's.
  bool AncestorsMatch(DEVINST node) const {
    std::vector<std::string> ids;
    for (auto parent = tree_.Parent(node); parent && ids.size() < kMaxTreeDepth;
         parent = tree_.Parent(*parent)) {
      ids.push_back(tree_.Id(*parent));
    }
    bool match = false;
    for (auto id = ids.rbegin(); id != ids.rend(); ++id) match = UpdateMatchFlag(match, *id, wanted_);
    return match;
  }

  void Walk(DEVINST node, bool match) {
    const std::string id = tree_.Id(node);
    // Removal relations may point back up the tree; each node is walked once.
    if (id.empty() || !visited_.insert(Upper(id)).second) return;
    match = UpdateMatchFlag(match, id, wanted_);
    if (match) {
      for (char letter : tree_.VolumeLetters(node)) {
        if (letters_.find(letter) == std::string::npos) letters_ += letter;
      }
    }
    for (DEVINST related : tree_.RemovalRelations(node)) Walk(related, match);
    for (DEVINST child : tree_.Children(node)) {
      if (working_.count(Upper(tree_.Id(child))) == 0) Walk(child, match);
    }
  }

  const DeviceTree& tree_;
  const std::set<std::string> working_;  // IDs of the working set, upper case
  const std::string_view wanted_;
  std::set<std::string> visited_;
  std::string letters_;
};

}  // namespace

std::string CollectDriveLetters(const DeviceTree& tree, const std::vector<DEVINST>& working,
                                std::string_view deviceId, std::vector<std::string>* perDevice) {
  std::set<std::string> workingIds;
  for (DEVINST device : working) workingIds.insert(Upper(tree.Id(device)));
  LetterWalk walk(tree, std::move(workingIds), deviceId);
  for (DEVINST device : working) {
    const size_t before = walk.Letters().size();
    walk.WalkDevice(device);
    if (perDevice != nullptr) perDevice->push_back(walk.Letters().substr(before));
  }
  return walk.Letters();
}

void MarkDeviceUnderKey(HKEY root, const char* subkey, const std::string& vendorId,
                        const std::string& productId, UserPrompt& prompt) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subkey, 0, KEY_ALL_ACCESS | kMarkView, &key) != ERROR_SUCCESS) {
    DWORD disposition = 0;
    if (RegCreateKeyExA(root, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | kMarkView, nullptr,
                        &key, &disposition) != ERROR_SUCCESS) {
      prompt.ShowMessage(kCreateKeyError);
      return;
    }
  }
  // Exactly four bytes each, no terminating zero; a shorter ID is padded with
  // zeros rather than read past its end. The system stores one byte more for
  // a string whose last byte is not zero when the byte after it is zero (a
  // "forgotten" terminator), so a non-zero guard byte follows the four: what
  // is stored never depends on the stack.
  auto write = [&](const char* name, const std::string& value) {
    constexpr DWORD kLength = 4;
    BYTE bytes[kLength + 1] = {0, 0, 0, 0, 0xFF};
    std::copy_n(value.begin(), std::min<size_t>(value.size(), kLength), bytes);
    RegSetValueExA(key, name, 0, REG_SZ, bytes, kLength);
  };
  write("vid", vendorId);
  write("pid", productId);
  RegCloseKey(key);
}

bool EnumerateMcuClassPorts(const SetupApi& api, const char* className, std::vector<PortEntry>& ports) {
  ports.clear();
  DWORD count = 0;
  api.classGuidsFromName(className, nullptr, 0, &count);
  if (count == 0) return false;
  std::vector<GUID> guids(count);
  if (!api.classGuidsFromName(className, guids.data(), count, &count)) return false;
  HDEVINFO set = api.getClassDevs(&guids[0], nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return false;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; api.enumDeviceInfo(set, index, &device); ++index) {
    HKEY key = api.openDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE || key == nullptr) continue;
    BYTE value[kValueBufferSize] = {};
    DWORD size = sizeof value;
    DWORD type = 0;
    std::optional<unsigned> number;
    if (RegQueryValueExA(key, kPortNameValue, nullptr, &type, value, &size) == ERROR_SUCCESS) {
      number = ComPortNumber(type, value, size);
    }
    RegCloseKey(key);
    if (!number) continue;
    ports.push_back({*number, StringProperty(api.getDeviceRegistryProperty, set, device, SPDRP_DEVICEDESC)});
  }
  api.destroyDeviceInfoList(set);
  return true;
}

}  // namespace setup_win32

namespace {

using namespace setup_win32;

constexpr const char* kVolumePathFormat = "\\\\.\\%c:";
constexpr const char* kComPathFormat = "\\\\.\\COM%u";

using VolumeNameFn = BOOL(WINAPI*)(LPCSTR, LPSTR, DWORD);

// A double-zero-terminated list into its entries.
std::vector<std::string> SplitList(const std::vector<char>& list) {
  std::vector<std::string> entries;
  for (size_t i = 0; i < list.size() && list[i] != '\0';) {
    entries.emplace_back(&list[i]);
    i += entries.back().size() + 1;
  }
  return entries;
}

// The configuration manager's device tree and the volume mount points.
class SystemDeviceTree final : public DeviceTree {
 public:
  explicit SystemDeviceTree(VolumeNameFn volumeNameOf) : volumeNameOf_(volumeNameOf) {}

  std::string Id(DEVINST node) const override {
    char id[MAX_DEVICE_ID_LEN + 1] = {};
    return CM_Get_Device_IDA(node, id, sizeof id, 0) == CR_SUCCESS ? id : std::string();
  }

  std::optional<DEVINST> Parent(DEVINST node) const override {
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) return std::nullopt;
    return parent;
  }

  std::vector<DEVINST> Children(DEVINST node) const override {
    std::vector<DEVINST> children;
    DEVINST child = 0;
    if (CM_Get_Child(&child, node, 0) != CR_SUCCESS) return children;
    do {
      children.push_back(child);
    } while (CM_Get_Sibling(&child, child, 0) == CR_SUCCESS);
    return children;
  }

  std::vector<DEVINST> RemovalRelations(DEVINST node) const override {
    std::vector<DEVINST> nodes;
    const std::string id = Id(node);
    ULONG size = 0;
    const ULONG filter = CM_GETIDLIST_FILTER_REMOVALRELATIONS;
    if (id.empty() || CM_Get_Device_ID_List_SizeA(&size, id.c_str(), filter) != CR_SUCCESS || size <= 1) {
      return nodes;
    }
    std::vector<char> list(size + 1, '\0');
    if (CM_Get_Device_ID_ListA(id.c_str(), list.data(), size, filter) != CR_SUCCESS) return nodes;
    for (const std::string& related : SplitList(list)) {
      DEVINST relatedNode = 0;
      if (CM_Locate_DevNodeA(&relatedNode, const_cast<char*>(related.c_str()), CM_LOCATE_DEVNODE_NORMAL) ==
          CR_SUCCESS) {
        nodes.push_back(relatedNode);
      }
    }
    return nodes;
  }

  std::string VolumeLetters(DEVINST node) const override {
    std::string letters;
    const std::string id = Id(node);
    ULONG size = 0;
    GUID volumes = kVolumeInterface;
    if (id.empty() ||
        CM_Get_Device_Interface_List_SizeA(&size, &volumes, const_cast<char*>(id.c_str()),
                                           CM_GET_DEVICE_INTERFACE_LIST_PRESENT) != CR_SUCCESS ||
        size <= 1) {
      return letters;
    }
    std::vector<char> list(size + 1, '\0');
    if (CM_Get_Device_Interface_ListA(&volumes, const_cast<char*>(id.c_str()), list.data(), size,
                                      CM_GET_DEVICE_INTERFACE_LIST_PRESENT) != CR_SUCCESS) {
      return letters;
    }
    for (std::string path : SplitList(list)) {
      if (path.back() != '\\') path += '\\';
      char volumeName[MAX_PATH] = {};
      if (!volumeNameOf_(path.c_str(), volumeName, sizeof volumeName)) continue;
      for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const char root[] = {letter, ':', '\\', '\0'};
        char rootName[MAX_PATH] = {};
        if (volumeNameOf_(root, rootName, sizeof rootName) && std::string(rootName) == volumeName) {
          letters += letter;
        }
      }
    }
    return letters;
  }

 private:
  VolumeNameFn volumeNameOf_;
};

// The letter search of one call: every removable device present goes into
// a working set (listed on the console), then the walk collects the letters.
std::string FindDriveLettersForDevice(const std::string& deviceId) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  const auto volumeNameOf = kernel == nullptr
                                ? nullptr
                                : reinterpret_cast<VolumeNameFn>(reinterpret_cast<void*>(
                                      GetProcAddress(kernel, "GetVolumeNameForVolumeMountPointA")));
  HDEVINFO all = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
  if (all == INVALID_HANDLE_VALUE) return {};
  HDEVINFO working = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  if (working == INVALID_HANDLE_VALUE) {
    SetupDiDestroyDeviceInfoList(all);
    return {};
  }
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  std::set<std::string> workingIds;  // upper case
  for (DWORD index = 0; SetupDiEnumDeviceInfo(all, index, &device); ++index) {
    char id[MAX_DEVICE_ID_LEN + 1] = {};
    if (!SetupDiGetDeviceInstanceIdA(all, &device, id, sizeof id, nullptr) || id[0] == '\0' ||
        workingIds.count(Upper(id)) != 0) {
      continue;
    }
    DWORD capabilities = 0;
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(all, &device, SPDRP_CAPABILITIES, &type,
                                           reinterpret_cast<BYTE*>(&capabilities), sizeof capabilities,
                                           nullptr) ||
        (capabilities & kRemovableCapability) == 0) {
      continue;
    }
    std::printf("Instance id %s\n\n", id);
    if (SetupDiOpenDeviceInfoA(working, id, nullptr, 0, nullptr)) workingIds.insert(Upper(id));
  }
  std::vector<DEVINST> nodes;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(working, index, &device); ++index) {
    nodes.push_back(device.DevInst);
  }
  std::string letters;
  std::vector<std::string> perDevice;
  // Without mount-point names no letter can be told; the devices are still listed.
  if (volumeNameOf != nullptr) {
    letters = CollectDriveLetters(SystemDeviceTree(volumeNameOf), nodes, deviceId, &perDevice);
  }
  perDevice.resize(nodes.size());
  for (DWORD index = 0; SetupDiEnumDeviceInfo(working, index, &device); ++index) {
    std::string name = StringProperty(SetupDiGetDeviceRegistryPropertyA, working, device, SPDRP_FRIENDLYNAME);
    if (name.empty())
      name = StringProperty(SetupDiGetDeviceRegistryPropertyA, working, device, SPDRP_DEVICEDESC);
    if (name.empty()) name = kNoName;
    std::printf("Device Descriptor %s\n", DriveDescription(name, perDevice[index]).c_str());
  }
  SetupDiDestroyDeviceInfoList(working);
  SetupDiDestroyDeviceInfoList(all);
  return letters;
}

class SetupApiDeviceBus final : public DeviceBus {
 public:
  bool EnumerateMcuPorts(std::vector<McuPort>& ports) override {
    ports.clear();
    SetupApi api;
    if (!api.Load()) return false;
    std::vector<PortEntry> found;
    if (!EnumerateMcuClassPorts(api, kMcuPortsClass, found)) return false;
    for (const PortEntry& entry : found) {
      char path[32];
      std::snprintf(path, sizeof path, kComPathFormat, entry.number);
      ports.push_back({entry.number, path, entry.description});
    }
    return true;
  }

  std::vector<std::string> FindVolumesForDevice(const std::string& deviceId) override {
    std::vector<std::string> volumes;
    for (char letter : FindDriveLettersForDevice(deviceId)) {
      char path[16];
      std::snprintf(path, sizeof path, kVolumePathFormat, letter);
      volumes.emplace_back(path);
    }
    return volumes;
  }

  std::unique_ptr<ScsiTransport> OpenVolume(const std::string& volumePath, uint32_t* error) override {
    return OpenScsiTransport(volumePath, error);
  }

  void MarkDeviceInRegistry(const std::string& vendorId, const std::string& productId,
                            UserPrompt& prompt) override {
    MarkDeviceUnderKey(HKEY_LOCAL_MACHINE, kMarkKey, vendorId, productId, prompt);
  }
};

}  // namespace

std::unique_ptr<DeviceBus> MakePlatformDeviceBus() { return std::make_unique<SetupApiDeviceBus>(); }

// The setup API names a device's location, but a bus restricted to it is not
// built yet: a station here runs on virtual boards only.
std::unique_ptr<BoardSource> MakePlatformBoardSource() { return nullptr; }

}  // namespace zorbel
