#pragma once
// Pieces of the Windows discovery that its tests reach: the setup library
// loaded at run time, the "PortName" rule, the device-ID match, the device
// line of the console listing and the registry mark under a given key.
// Included by Windows files only.
#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorbel {

class UserPrompt;

namespace setup_win32 {

inline constexpr const char* kSetupLibrary = "SETUPAPI.DLL";
inline constexpr const char* kMarkKey = "SOFTWARE\\Halvorn Auto-Copy";
inline constexpr const char* kCreateKeyError = "Create Key error !";
// The mark's reader finds it where a 32-bit writer's machine keys land on
// 64-bit Windows; a 64-bit build writes to that view too. Ignored on 32-bit
// Windows, where there is one view.
inline constexpr REGSAM kMarkView = KEY_WOW64_32KEY;

using ProcResolver = FARPROC(WINAPI*)(HMODULE, const char*);

// The six setup-library entries the COM-port search needs, looked up at run
// time so the tool starts on systems without them.
class SetupApi {
 public:
  SetupApi() = default;
  ~SetupApi() { Unload(); }
  SetupApi(const SetupApi&) = delete;
  SetupApi& operator=(const SetupApi&) = delete;

  // False, with the library unloaded and the thread's last error 120, when
  // the library or any entry is missing. resolve stands in for GetProcAddress.
  bool Load(const char* library = kSetupLibrary, ProcResolver resolve = nullptr);
  void Unload();

  decltype(&SetupDiOpenDevRegKey) openDevRegKey = nullptr;
  decltype(&SetupDiClassGuidsFromNameA) classGuidsFromName = nullptr;
  decltype(&SetupDiGetClassDevsA) getClassDevs = nullptr;
  decltype(&SetupDiGetDeviceRegistryPropertyA) getDeviceRegistryProperty = nullptr;
  decltype(&SetupDiDestroyDeviceInfoList) destroyDeviceInfoList = nullptr;
  decltype(&SetupDiEnumDeviceInfo) enumDeviceInfo = nullptr;

 private:
  HMODULE module_ = nullptr;
};

// The port number of a "PortName" value: a string, longer than 3 characters,
// "COM" in any letter case, then decimal digits only.
std::optional<unsigned> ComPortNumber(DWORD valueType, const BYTE* data, DWORD size);

// The node-ID rule of the letter search: IDs starting with "USB\VID" (any
// case) set the flag to whether they start with wanted (any case); other IDs
// leave it as it was.
bool UpdateMatchFlag(bool flag, std::string_view nodeId, std::string_view wanted);

// The device tree as the letter search walks it: the system's in the
// backend, a made-up one in tests.
class DeviceTree {
 public:
  virtual ~DeviceTree() = default;
  virtual std::string Id(DEVINST node) const = 0;  // empty when unknown
  virtual std::optional<DEVINST> Parent(DEVINST node) const = 0;
  virtual std::vector<DEVINST> Children(DEVINST node) const = 0;
  virtual std::vector<DEVINST> RemovalRelations(DEVINST node) const = 0;
  // The drive letters, A to Z, whose root is one of the node's volumes.
  virtual std::string VolumeLetters(DEVINST node) const = 0;
};

// The drive letters of the USB device deviceId, walked from each removable
// device of working in turn: the node, its removal relations, its children
// outside working. A node belongs to the board when its nearest "USB\VID"
// node on the way down (UpdateMatchFlag) is the board's; that never carries
// over from one device or branch to the next. Each letter once, in walk
// order; perDevice (may be null) gets the letters each device added.
std::string CollectDriveLetters(const DeviceTree& tree, const std::vector<DEVINST>& working,
                                std::string_view deviceId, std::vector<std::string>* perDevice);

// "name - Drive (E:,F:)" for the letters found, the bare name for none.
std::string DriveDescription(const std::string& name, const std::string& letters);

// Writes "vid" and "pid" as 4-byte strings under root\subkey in kMarkView,
// creating the key when it cannot be opened; "Create Key error !" when that
// fails too.
void MarkDeviceUnderKey(HKEY root, const char* subkey, const std::string& vendorId,
                        const std::string& productId, UserPrompt& prompt);

// The COM-port search through api (already loaded); false when the class has
// no GUID or its devices cannot be listed.
struct PortEntry {
  unsigned number = 0;
  std::string description;
};
bool EnumerateMcuClassPorts(const SetupApi& api, const char* className, std::vector<PortEntry>& ports);

}  // namespace setup_win32
}  // namespace zorbel
