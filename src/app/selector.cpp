#include "app/selector.h"

namespace zorbel {
namespace {

// The two lists spell their raw-data entries differently; both are shown as
// written.
constexpr const char* kSdram = "SDRAM";
constexpr const char* kNand = "NAND";
constexpr const char* kNorRawSpaced = "NOR (Raw Data)";
constexpr const char* kSdCard = "SD Card";
constexpr const char* kSpiRawSpaced = "SPI (Raw Data)";
constexpr const char* kSpi = "SPI";
constexpr const char* kNandRaw = "NAND(Raw Data)";
constexpr const char* kNor = "NOR";
constexpr const char* kNorRaw = "NOR(Raw Data)";
constexpr const char* kSpiRaw = "SPI(Raw Data)";

// A mass-storage connection only ever shows the SDRAM page, whatever is picked.
void AppendMassStorage(std::vector<SelectorEntry>& out, uint32_t familyMode) {
  out.push_back({kSdram, kPageSdram});
  out.push_back({kNand, kPageSdram});
  if (familyMode == 0) out.push_back({kNorRawSpaced, kPageSdram});
  out.push_back({kSdCard, kPageSdram});
  out.push_back({kSpiRawSpaced, kPageSdram});
  out.push_back({kSpi, kPageSdram});
}

void AppendComPort(std::vector<SelectorEntry>& out, uint32_t familyMode) {
  out.push_back({kSdram, kPageSdram});
  out.push_back({kNand, kPageNand});
  out.push_back({kNandRaw, kPageNandRaw});
  if (familyMode == 0) out.push_back({kNor, kPageNor});
  out.push_back({kNorRaw, kPageNorRaw});
  out.push_back({kSpi, kPageSpi});
  out.push_back({kSpiRaw, kPageSpiRaw});
}

}  // namespace

SelectorConnection SelectorConnectionOf(const ConnectionState& connection) {
  if (connection.massStorageConnected && connection.vcomConnected) return SelectorConnection::kBoth;
  if (connection.massStorageConnected) return SelectorConnection::kMassStorage;
  if (connection.vcomConnected) return SelectorConnection::kComPort;
  return SelectorConnection::kNone;
}

std::vector<SelectorEntry> SelectorEntries(SelectorConnection kind, uint32_t familyMode) {
  std::vector<SelectorEntry> entries;
  switch (kind) {
    case SelectorConnection::kNone:
      entries.push_back({kSdram, kPageSdram});
      break;
    case SelectorConnection::kMassStorage:
      AppendMassStorage(entries, familyMode);
      break;
    case SelectorConnection::kComPort:
      AppendComPort(entries, familyMode);
      break;
    case SelectorConnection::kBoth:
      AppendMassStorage(entries, familyMode);
      AppendComPort(entries, familyMode);
      break;
  }
  return entries;
}

std::string SelectorLayout::FrameCaption() const {
  if (selection < 0 || static_cast<size_t>(selection) >= entries.size()) return {};
  return entries[static_cast<size_t>(selection)].text;
}

SelectorLayout RebuildSelector(const ConnectionState& connection, uint32_t familyMode,
                               int previousSelection) {
  const int remembered = previousSelection < 0 ? 0 : previousSelection;
  const SelectorConnection kind = SelectorConnectionOf(connection);
  SelectorLayout layout;
  layout.entries = SelectorEntries(kind, familyMode);
  // The first entry unless a COM-port connection keeps the user's choice.
  layout.page = kPageSdram;
  switch (kind) {
    case SelectorConnection::kNone:
      break;
    case SelectorConnection::kMassStorage:
    case SelectorConnection::kBoth:
      layout.showPage = true;
      break;
    case SelectorConnection::kComPort:
      layout.showPage = true;
      if (static_cast<size_t>(remembered) < layout.entries.size()) {
        layout.selection = remembered;
        layout.page = layout.entries[static_cast<size_t>(remembered)].page;
      }
      break;
  }
  return layout;
}

}  // namespace zorbel
