// The Windows discovery's rules: the setup library's loader, "PortName",
// the device-ID match, the console's device line and the registry mark.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/user_prompt.h"
#include "link/device_bus.h"
#include "link/device_bus_win32.h"

namespace zorbel {
namespace {

using namespace setup_win32;

const char* g_missingEntry = nullptr;

FARPROC WINAPI ResolveAllBut(HMODULE module, const char* name) {
  if (g_missingEntry != nullptr && std::strcmp(name, g_missingEntry) == 0) return nullptr;
  return GetProcAddress(module, name);
}

TEST(SetupApiLoader, RefusesWith120WhenAnEntryIsMissing) {
  const char* entries[] = {"SetupDiOpenDevRegKey",          "SetupDiClassGuidsFromNameA",
                           "SetupDiGetClassDevsA",          "SetupDiGetDeviceRegistryPropertyA",
                           "SetupDiDestroyDeviceInfoList", "SetupDiEnumDeviceInfo"};
  for (const char* missing : entries) {
    SCOPED_TRACE(missing);
    g_missingEntry = missing;
    SetupApi api;
    SetLastError(0);
    EXPECT_FALSE(api.Load(kSetupLibrary, ResolveAllBut));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    // Nothing half-loaded stays callable.
    EXPECT_EQ(api.openDevRegKey, nullptr);
    EXPECT_EQ(api.enumDeviceInfo, nullptr);
  }
  g_missingEntry = nullptr;
}

TEST(SetupApiLoader, MissingLibraryAndCompleteLibrary) {
  SetupApi api;
  SetLastError(0);
  EXPECT_FALSE(api.Load("NO-SUCH-SETUP-LIBRARY.DLL"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  ASSERT_TRUE(api.Load());
  EXPECT_NE(api.openDevRegKey, nullptr);
  EXPECT_NE(api.classGuidsFromName, nullptr);
  EXPECT_NE(api.getClassDevs, nullptr);
  EXPECT_NE(api.getDeviceRegistryProperty, nullptr);
  EXPECT_NE(api.destroyDeviceInfoList, nullptr);
  EXPECT_NE(api.enumDeviceInfo, nullptr);
}

TEST(PortName, OnlyComFollowedByDigitsCounts) {
  struct Case {
    DWORD type;
    std::string bytes;  // as stored, terminating zero included or not
    int number;         // -1: not listed
  };
  const Case cases[] = {
      {REG_SZ, std::string("COM3\0", 5), 3},
      {REG_SZ, "COM12", 12},  // stored without its terminating zero
      {REG_SZ, std::string("com7\0", 5), 7},
      {REG_SZ, std::string("CoM0\0", 5), 0},
      {REG_SZ, std::string("COM\0", 4), -1},
      {REG_SZ, std::string("COMx1\0", 6), -1},
      {REG_SZ, std::string("COM1a\0", 6), -1},
      {REG_SZ, std::string("COM 1\0", 6), -1},
      {REG_SZ, std::string("LPT1\0", 5), -1},
      {REG_SZ, std::string("\0COM1", 5), -1},
      {REG_SZ, std::string("COM99999999999\0", 15), -1},  // no port has such a number
      {REG_EXPAND_SZ, std::string("COM4\0", 5), -1},
      {REG_BINARY, std::string("COM4\0", 5), -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const auto number = ComPortNumber(c.type, reinterpret_cast<const BYTE*>(c.bytes.data()),
                                      static_cast<DWORD>(c.bytes.size()));
    if (c.number < 0) {
      EXPECT_FALSE(number.has_value());
    } else {
      ASSERT_TRUE(number.has_value());
      EXPECT_EQ(*number, static_cast<unsigned>(c.number));
    }
  }
}

TEST(DeviceIdMatch, UsbIdsDecideOthersKeepTheFlag) {
  const std::string wanted = "USB\\VID_7C3A&PID_6E21";
  struct Case {
    bool before;
    std::string nodeId;
    bool after;
  };
  const Case cases[] = {
      {false, "USB\\VID_7C3A&PID_6E21\\0123456789", true},
      {false, "usb\\vid_7c3a&pid_6e21\\5&1A2B", true},
      {true, "USB\\VID_7C3A&PID_6E22\\0123", false},  // another stage of the board
      {true, "USB\\VID_7C3A&PID_6E2", false},         // shorter than the ID searched for
      {true, "USBSTOR\\DISK&VEN_X&PROD_Y\\7&0", true},
      {false, "USBSTOR\\DISK&VEN_X&PROD_Y\\7&0", false},
      {true, "STORAGE\\VOLUME\\{guid}", true},
      {true, "USB\\ROOT_HUB30\\4&1", true},  // not a "USB\VID" ID
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nodeId);
    EXPECT_EQ(UpdateMatchFlag(c.before, c.nodeId, wanted), c.after);
  }
}

TEST(DeviceListing, DriveLettersInTheDescription) {
  struct Case {
    std::string name, letters, line;
  };
  const Case cases[] = {
      {"USB Mass Storage Device", "", "USB Mass Storage Device"},
      {"USB Mass Storage Device", "E", "USB Mass Storage Device - Drive (E:)"},
      {"Device", "EFG", "Device - Drive (E:,F:,G:)"},
  };
  for (const Case& c : cases) EXPECT_EQ(DriveDescription(c.name, c.letters), c.line);
}

// A device tree made up node by node: number, ID, parent, removal
// relations and the letters of its volumes.
class MadeUpTree final : public DeviceTree {
 public:
  struct Node {
    std::string id;
    DEVINST parent = 0;  // 0: the root
    std::vector<DEVINST> removal;
    std::string letters;
  };
  explicit MadeUpTree(std::map<DEVINST, Node> nodes) : nodes_(std::move(nodes)) {}

  std::string Id(DEVINST node) const override { return Find(node).id; }
  std::optional<DEVINST> Parent(DEVINST node) const override {
    const DEVINST parent = Find(node).parent;
    return parent == 0 ? std::nullopt : std::optional<DEVINST>(parent);
  }
  std::vector<DEVINST> Children(DEVINST node) const override {
    std::vector<DEVINST> children;
    for (const auto& [number, n] : nodes_) {
      if (n.parent == node) children.push_back(number);
    }
    return children;
  }
  std::vector<DEVINST> RemovalRelations(DEVINST node) const override { return Find(node).removal; }
  std::string VolumeLetters(DEVINST node) const override { return Find(node).letters; }

 private:
  const Node& Find(DEVINST node) const {
    static const Node kNone;
    const auto it = nodes_.find(node);
    return it == nodes_.end() ? kNone : it->second;
  }
  std::map<DEVINST, Node> nodes_;
};

// Two boards on one hub, another stick, a card reader outside USB and the
// volumes, reached from the disks through removal relations:
//   1 root hub  2 board (E)  3 board (F, G)  4 other stick (H)  5 card reader (K)
MadeUpTree BoardsAndNeighbours() {
  const std::string board = "USB\\VID_7C3A&PID_B192\\";
  return MadeUpTree({
      {1, {"USB\\ROOT_HUB30\\4&1", 0, {}, ""}},
      {2, {board + "0001", 1, {}, ""}},
      {20, {"USBSTOR\\DISK&VEN_BOARD\\A&0", 2, {21}, ""}},
      {21, {"STORAGE\\VOLUME\\{A}", 0, {20}, "E"}},  // its relation points back up
      {3, {"usb\\vid_7c3a&pid_b192\\0002", 1, {}, ""}},
      {30, {"USBSTOR\\DISK&VEN_BOARD\\B&0", 3, {31, 32}, ""}},
      {31, {"STORAGE\\VOLUME\\{B}", 0, {}, "F"}},
      {32, {"STORAGE\\VOLUME\\{C}", 0, {}, "GF"}},  // F reached twice
      {4, {"USB\\VID_0781&PID_5567\\9", 1, {}, ""}},
      {40, {"USBSTOR\\DISK&VEN_STICK\\C&0", 4, {41}, ""}},
      {41, {"STORAGE\\VOLUME\\{D}", 0, {}, "H"}},
      {5, {"PCI\\VEN_10EC&DEV_5227\\1", 0, {51}, ""}},
      {51, {"STORAGE\\VOLUME\\{E}", 0, {}, "K"}},
  });
}

TEST(DriveLetterWalk, OnlyTheBoardsVolumesWhateverTheOrder) {
  const MadeUpTree tree = BoardsAndNeighbours();
  struct Case {
    const char* name;
    std::vector<DEVINST> working;
    std::string letters;
    std::vector<std::string> perDevice;
  };
  const Case cases[] = {
      {"boards", {2, 3}, "EFG", {"E", "FG"}},
      {"the hub holds both boards", {1}, "EFG", {"EFG"}},
      // Neither the stick nor the reader inherits the board's match.
      {"board, then the reader", {2, 5}, "E", {"E", ""}},
      {"board, then others", {2, 4, 5}, "E", {"E", "", ""}},
      {"stick between boards", {3, 4, 2}, "FGE", {"FG", "", "E"}},
      // A disk in the working set is skipped below its USB device and
      // matched on its own walk by its USB parent, listed first or last.
      {"disk before its device", {20, 2}, "E", {"E", ""}},
      {"disk after the stick", {4, 20, 40}, "E", {"", "E", ""}},
      {"no board", {4, 5}, "", {"", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> perDevice;
    EXPECT_EQ(CollectDriveLetters(tree, c.working, "USB\\VID_7C3A&PID_B192", &perDevice), c.letters);
    EXPECT_EQ(perDevice, c.perDevice);
  }
  EXPECT_EQ(CollectDriveLetters(tree, {2, 3, 4}, "USB\\VID_0781&PID_5567", nullptr), "H");
}

std::string ReadMark(HKEY root, const char* subkey, const char* name, DWORD* type, REGSAM view = kMarkView) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return "<no key>";
  char value[16] = {};
  DWORD size = sizeof value;
  const LONG r = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  return r == ERROR_SUCCESS ? std::string(value, size) : "<no value>";
}

TEST(RegistryMark, WritesFourByteIdsAndCreatesTheKey) {
  const char* subkey = "SOFTWARE\\Zorbel Test Mark";
  RegDeleteKeyA(HKEY_CURRENT_USER, subkey);
  RecordingPrompt prompt;
  struct Case {
    std::string vid, pid, storedVid, storedPid;
  };
  const Case cases[] = {
      {"7C3A", "B190", "7C3A", "B190"},  // key created
      {"7C3A", "B192", "7C3A", "B192"},  // key opened, values replaced
      {"7C3", "B1", std::string("7C3\0", 4), std::string("B1\0\0", 4)},  // short IDs padded, never overread
  };
  for (const Case& c : cases) {
    MarkDeviceUnderKey(HKEY_CURRENT_USER, subkey, c.vid, c.pid, prompt);
    DWORD type = 0;
    EXPECT_EQ(ReadMark(HKEY_CURRENT_USER, subkey, "vid", &type), c.storedVid);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(ReadMark(HKEY_CURRENT_USER, subkey, "pid", &type), c.storedPid);
  }
  EXPECT_TRUE(prompt.Messages().empty());
  RegDeleteKeyA(HKEY_CURRENT_USER, subkey);
}

// A 64-bit tool must leave the mark where its reader has always found it:
// the machine's 32-bit view, not the 64-bit key of the same name.
TEST(RegistryMark, MachineMarkLandsInThe32BitView) {
  const char* subkey = "SOFTWARE\\Zorbel Test Mark";
  auto remove = [&] {
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, subkey, KEY_WOW64_32KEY, 0);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, subkey, KEY_WOW64_64KEY, 0);
  };
  remove();
  RecordingPrompt prompt;
  MarkDeviceUnderKey(HKEY_LOCAL_MACHINE, subkey, "7C3A", "B190", prompt);
  if (!prompt.Messages().empty()) {
    remove();
    GTEST_SKIP() << "no rights to the machine's keys";
  }
  DWORD type = 0;
  EXPECT_EQ(ReadMark(HKEY_LOCAL_MACHINE, subkey, "vid", &type, KEY_WOW64_32KEY), "7C3A");
  EXPECT_EQ(ReadMark(HKEY_LOCAL_MACHINE, subkey, "pid", &type, KEY_WOW64_32KEY), "B190");
  if (sizeof(void*) == 8) {
    EXPECT_EQ(ReadMark(HKEY_LOCAL_MACHINE, subkey, "pid", &type, KEY_WOW64_64KEY), "<no key>");
  }
  remove();
}

TEST(RegistryMark, KeyThatCannotBeCreatedIsReported) {
  RecordingPrompt prompt;
  MarkDeviceUnderKey(reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234)), kMarkKey, "7C3A", "B190", prompt);
  EXPECT_EQ(prompt.Messages(), std::vector<std::string>{"Create Key error !"});
}

TEST(PlatformDeviceBus, MarksUnderTheProductKeyAndFindsNoBoard) {
  auto bus = MakePlatformDeviceBus();
  RecordingPrompt prompt;
  bus->MarkDeviceInRegistry("7C3A", "B191", prompt);
  DWORD type = 0;
  if (prompt.Messages().empty()) {
    EXPECT_EQ(ReadMark(HKEY_LOCAL_MACHINE, kMarkKey, "pid", &type), "B191");
  } else {
    // Without the rights to the machine's key (a non-administrator account).
    EXPECT_EQ(prompt.Messages(), std::vector<std::string>{"Create Key error !"});
  }
  // No board of this made-up ID is plugged into the test machine.
  EXPECT_TRUE(bus->FindVolumesForDevice("USB\\VID_0000&PID_0000").empty());
  std::vector<McuPort> ports = {{9, "stale", "stale"}};
  if (!bus->EnumerateMcuPorts(ports)) {
    EXPECT_TRUE(ports.empty());
  }
  for (const McuPort& port : ports) EXPECT_EQ(port.path, "\\\\.\\COM" + std::to_string(port.number));
}

}  // namespace
}  // namespace zorbel
