// The Windows discovery's rules: the setup library's loader, "PortName",
// the device-ID match, the console's device line and the registry mark.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/test_table.h"
#include "app/user_prompt.h"
#include "link/device_bus.h"
#include "link/device_bus_win32.h"

namespace zorbel {
namespace {

using namespace setup_win32;

using zorbel::testing::LoadTable;

const char* g_missingEntry = nullptr;

FARPROC WINAPI ResolveAllBut(HMODULE module, const char* name) {
  if (g_missingEntry != nullptr && std::strcmp(name, g_missingEntry) == 0) return nullptr;
  return GetProcAddress(module, name);
}

// How many of the library's entries the loader holds.
int Resolved(const SetupApi& api) {
  return (api.openDevRegKey != nullptr) + (api.classGuidsFromName != nullptr) +
         (api.getClassDevs != nullptr) + (api.getDeviceRegistryProperty != nullptr) +
         (api.destroyDeviceInfoList != nullptr) + (api.enumDeviceInfo != nullptr);
}

// The parts of a cell split at `separator`, empty ones kept.
std::vector<std::string> Split(const std::string& cell, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(cell);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  if (!cell.empty() && cell.back() == separator) parts.emplace_back();
  return parts;
}

TEST(SetupApiLoader, RefusesWith120WhenAnEntryIsMissing) {
  const char* entries[] = {"SetupDiOpenDevRegKey",         "SetupDiClassGuidsFromNameA",
                           "SetupDiGetClassDevsA",         "SetupDiGetDeviceRegistryPropertyA",
                           "SetupDiDestroyDeviceInfoList", "SetupDiEnumDeviceInfo"};
  for (const char* missing : entries) {
    SCOPED_TRACE(missing);
    g_missingEntry = missing;
    SetupApi api;
    SetLastError(0);
    EXPECT_FALSE(api.Load(kSetupLibrary, ResolveAllBut));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_EQ(Resolved(api), 0) << "nothing half-loaded stays callable";
  }
  g_missingEntry = nullptr;
}

TEST(SetupApiLoader, MissingLibraryAndCompleteLibrary) {
  SetupApi api;
  SetLastError(0);
  EXPECT_FALSE(api.Load("NO-SUCH-SETUP-LIBRARY.DLL"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  ASSERT_TRUE(api.Load());
  EXPECT_EQ(Resolved(api), 6);
}

TEST(PortName, OnlyComFollowedByDigitsCounts) {
  const std::map<std::string, DWORD> types = {
      {"REG_SZ", REG_SZ}, {"REG_EXPAND_SZ", REG_EXPAND_SZ}, {"REG_BINARY", REG_BINARY}};
  for (const auto& row : LoadTable("win32/port_names.tsv")) {
    SCOPED_TRACE(row[1]);
    const std::string stored = row[2] == "1" ? row[1] + '\0' : row[1];
    const auto number = ComPortNumber(types.at(row[0]), reinterpret_cast<const BYTE*>(stored.data()),
                                      static_cast<DWORD>(stored.size()));
    EXPECT_EQ(number ? std::to_string(*number) : "-", row[3]);
  }
}

TEST(DeviceIdMatch, UsbIdsDecideOthersKeepTheFlag) {
  for (const auto& row : LoadTable("win32/device_id_match.tsv")) {
    SCOPED_TRACE(row[1]);
    EXPECT_EQ(UpdateMatchFlag(row[0] == "1", row[1], "USB\\VID_7C3A&PID_6E21"), row[2] == "1");
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

// The made-up tree of tests/data/win32/device_tree.tsv: two boards, their
// neighbours and the volumes.
MadeUpTree BoardsAndNeighbours() {
  std::map<DEVINST, MadeUpTree::Node> nodes;
  for (const auto& row : LoadTable("win32/device_tree.tsv")) {
    MadeUpTree::Node& node = nodes[std::stoul(row[0])];
    node.id = row[1];
    node.parent = std::stoul(row[2]);
    for (const std::string& related : Split(row[3], ' ')) node.removal.push_back(std::stoul(related));
    node.letters = row[4];
  }
  return MadeUpTree(std::move(nodes));
}

TEST(DriveLetterWalk, OnlyTheBoardsVolumesWhateverTheOrder) {
  const MadeUpTree tree = BoardsAndNeighbours();
  for (const auto& row : LoadTable("win32/drive_letter_walk.tsv")) {
    SCOPED_TRACE(row[0]);
    std::vector<DEVINST> working;
    for (const std::string& device : Split(row[1], ' ')) working.push_back(std::stoul(device));
    std::vector<std::string> perDevice;
    EXPECT_EQ(CollectDriveLetters(tree, working, "USB\\VID_7C3A&PID_B192", &perDevice), row[2]);
    EXPECT_EQ(perDevice, Split(row[3], ','));
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
      {"7C3A", "B190", "7C3A", "B190"},                                  // key created
      {"7C3A", "B192", "7C3A", "B192"},                                  // key opened, values replaced
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
  MarkDeviceUnderKey(reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234)), kMarkKey, "7C3A", "B190",
                     prompt);
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
