#pragma once
// The one application state object: the process-wide values and the
// ConnectionState. Owned by the application (window or CLI) and passed by
// reference to whoever needs it; there are no mutable globals.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "link/scsi_transport.h"

namespace zorbel {

struct RegisterWrite {
  uint32_t address = 0;
  uint32_t value = 0;
  bool operator==(const RegisterWrite&) const = default;
};

constexpr size_t kMaxRegisterWrites = 100;
// Family 2/3 header: 24 + 8 n bytes rounded up to 16, n <= 100.
constexpr size_t kBootHeaderCapacity = 32 + 8 * kMaxRegisterWrites;

// What "Zorbel.ini" yields for the connected family.
struct ChipSettings {
  uint32_t addressWord = 0;
  uint32_t dqsodsWord = 0;
  uint32_t ckdqsdsWord = 0;
  bool clockSkew = false;  // set once a family-1 file was read
  std::vector<RegisterWrite> registers;  // sent with 'R'/'S', marker entries left out
  // The SystemImageHeader buffer. It keeps its bytes across reads: a family 2
  // or 3 read leaves offset 12 as an earlier family-1 read wrote it.
  std::array<uint8_t, kBootHeaderCapacity> bootHeader{};
  uint32_t bootHeaderLength = 0;

  std::span<const uint8_t> SystemImageHeader() const { return {bootHeader.data(), bootHeaderLength}; }
};

struct VolumeEntry {
  std::string path;
  std::unique_ptr<ScsiTransport> handle;
};

constexpr size_t kMaxVolumes = 8;

struct ConnectionState {
  // Both start at 1 and are cleared at the start of every connection attempt.
  uint8_t vcomConnected = 1;
  uint8_t massStorageConnected = 1;
  std::array<VolumeEntry, kMaxVolumes> volumes;
  std::string portPath;   // the board's COM port, or empty
  std::string portLabel;  // how the status line names the port
  uint32_t loaderLength = 0;
  std::string productId;
  std::string vendorId;
  std::string deviceId;

  // Every mass-storage command goes to the first volume; null when none.
  ScsiTransport* deviceHandle() const { return volumes[0].handle.get(); }
  void CloseVolumes() {
    for (auto& v : volumes) {
      v.handle.reset();
      v.path.clear();
    }
  }
};

struct ToolState {
  // The tool's folder (app/tool_folder.h), ending in a path separator; the
  // loaders, "Zorbel.ini", "ZorbelSD.ini", "path.ini", "NAND ID.ini" and mkrom
  // live there.
  std::string moduleDirectory;
  // Read-only folders that give the product files moduleDirectory lacks.
  std::vector<std::string> productSources;
  uint32_t chipFamily = 0;  // 0 the older chip, 1 Quen, 2 Rast, 3 Pilk
  uint32_t familyMode = 0;  // 1: family loaders, 60-byte heads, 32-character names
  uint32_t loaderLoadAddress = 0;
  uint32_t sdPort = 0;      // 0 to 2
  std::string versionText;  // the loader version label
  // Sizes in MB the Option buttons of the NAND and SD pages read last; 0
  // until read or when the read failed.
  uint32_t nandFlashSizeMb = 0;
  uint32_t sdCardSizeMb = 0;
  ChipSettings chip;
  ConnectionState connection;
};

}  // namespace zorbel
